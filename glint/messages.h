// Every console text of glint, as GBK (code page 936) bytes. The console
// writer shows them in a terminal's own encoding; on pipes and files the
// dialogue writes these bytes and the command line the locale's encoding.
// The command line's texts have an English form too. The readable text
// stands in the comment above each one.
#pragma once

namespace glint::msg {

// Menu and prompts. Prompts carry no line end: the answer is typed on the same line.

// GLINT信息隐藏
inline constexpr char kTitle[] = "GLINT\xd0\xc5\xcf\xa2\xd2\xfe\xb2\xd8";

// " 1.加密.bmp文件"
inline constexpr char kMenuHide[] = " 1.\xbc\xd3\xc3\xdc" ".bmp\xce\xc4\xbc\xfe";

// " 2.解密.bmp文件"
inline constexpr char kMenuRecover[] = " 2.\xbd\xe2\xc3\xdc" ".bmp\xce\xc4\xbc\xfe";

// " 3.退出"
inline constexpr char kMenuQuit[] = " 3.\xcd\xcb\xb3\xf6";

// 输入原始bmp文件名：
inline constexpr char kAskSourceImage[] = "\xca\xe4\xc8\xeb\xd4\xad\xca\xbc" "bmp\xce\xc4\xbc\xfe\xc3\xfb\xa3\xba";

// 输入要加密的文本文件名：
inline constexpr char kAskPayload[] = "\xca\xe4\xc8\xeb\xd2\xaa\xbc\xd3\xc3\xdc\xb5\xc4\xce\xc4\xb1\xbe\xce\xc4\xbc\xfe\xc3\xfb\xa3\xba";

// " >>>文件长度过长<<<"
inline constexpr char kPayloadTooLong[] = " >>>\xce\xc4\xbc\xfe\xb3\xa4\xb6\xc8\xb9\xfd\xb3\xa4" "<<<";

// 新bmp文件保存为：
inline constexpr char kAskOutputImage[] = "\xd0\xc2" "bmp\xce\xc4\xbc\xfe\xb1\xa3\xb4\xe6\xce\xaa\xa3\xba";

// 输入要解密的BMP文件名：
inline constexpr char kAskStegoImage[] = "\xca\xe4\xc8\xeb\xd2\xaa\xbd\xe2\xc3\xdc\xb5\xc4" "BMP\xce\xc4\xbc\xfe\xc3\xfb\xa3\xba";

// 密文文本保存为：
inline constexpr char kAskRecoveredFile[] = "\xc3\xdc\xce\xc4\xce\xc4\xb1\xbe\xb1\xa3\xb4\xe6\xce\xaa\xa3\xba";

// 错误输入，请重新选择
inline constexpr char kWrongChoice[] = "\xb4\xed\xce\xf3\xca\xe4\xc8\xeb\xa3\xac\xc7\xeb\xd6\xd8\xd0\xc2\xd1\xa1\xd4\xf1";

// Carrier reports. The failures go to standard error; kLoadFailed has no line end.

// 载入成功！
inline constexpr char kLoadSucceeded[] = "\xd4\xd8\xc8\xeb\xb3\xc9\xb9\xa6\xa3\xa1";

// 载入失败！
inline constexpr char kLoadFailed[] = "\xd4\xd8\xc8\xeb\xca\xa7\xb0\xdc\xa3\xa1";

// 信息隐藏成功
inline constexpr char kHideSucceeded[] = "\xd0\xc5\xcf\xa2\xd2\xfe\xb2\xd8\xb3\xc9\xb9\xa6";

// 解码成功
inline constexpr char kDecodeSucceeded[] = "\xbd\xe2\xc2\xeb\xb3\xc9\xb9\xa6";

// 解码失败！
inline constexpr char kDecodeFailed[] = "\xbd\xe2\xc2\xeb\xca\xa7\xb0\xdc\xa3\xa1";

// 文件保存成功
inline constexpr char kSaveSucceeded[] = "\xce\xc4\xbc\xfe\xb1\xa3\xb4\xe6\xb3\xc9\xb9\xa6";

// 文件保存失败！
inline constexpr char kSaveFailed[] = "\xce\xc4\xbc\xfe\xb1\xa3\xb4\xe6\xca\xa7\xb0\xdc\xa3\xa1";

// The console's own press-any-key line, written where no pause command exists.

// 请按任意键继续. . .
inline constexpr char kPressAnyKey[] = "\xc7\xeb\xb0\xb4\xc8\xce\xd2\xe2\xbc\xfc\xbc\xcc\xd0\xf8" ". . .";

// The command line speaks the user's language: each of its texts in the
// design's Simplified Chinese (GBK, as above) and in English (ASCII).
struct Text {
    const char* chinese;
    const char* english;
};

// Usage and help go to standard output on request and to standard error
// after a usage error.

// 用法：
//   glint hide 原始图像 要隐藏的文件 新图像.bmp|.png
//   glint recover 图像 输出文件
//   glint capacity 图像...
//   glint planes 图像 [隐藏后的图像] 平面图.png
inline constexpr Text kUsage{
    "\xd3\xc3\xb7\xa8\xa3\xba" "\n"
    "  glint hide \xd4\xad\xca\xbc\xcd\xbc\xcf\xf1" " \xd2\xaa\xd2\xfe\xb2\xd8\xb5\xc4\xce\xc4\xbc\xfe" " \xd0\xc2\xcd\xbc\xcf\xf1" ".bmp|.png\n"
    "  glint recover \xcd\xbc\xcf\xf1" " \xca\xe4\xb3\xf6\xce\xc4\xbc\xfe" "\n"
    "  glint capacity \xcd\xbc\xcf\xf1" "...\n"
    "  glint planes \xcd\xbc\xcf\xf1" " [\xd2\xfe\xb2\xd8\xba\xf3\xb5\xc4\xcd\xbc\xcf\xf1" "] \xc6\xbd\xc3\xe6\xcd\xbc" ".png\n",
    "Usage:\n"
    "  glint hide COVER PAYLOAD OUTPUT.bmp|.png\n"
    "  glint recover STEGO OUTPUT\n"
    "  glint capacity IMAGE...\n"
    "  glint planes IMAGE [STEGO] PICTURE.png\n"};

// The help: the usage, these commands and options, kHelpPictures,
// kHelpEncryption, then kHelpStreams. Each part starts with an empty line.
// 不带参数运行 glint 打开菜单。
//   hide          把文件隐藏进图像，保存为新图像
//   recover       取出图像中隐藏的文件
//   capacity      每幅图像最多能隐藏的字节数
//   planes        把图像（和隐藏后的图像）的最低位画成平面图
//   -q, --quiet   不显示成功信息（提示和错误照常显示）
//   -h, --help    显示本说明
//   --version     显示版本
inline constexpr Text kHelpCommands{
    "\n"
    "\xb2\xbb\xb4\xf8\xb2\xce\xca\xfd\xd4\xcb\xd0\xd0" " glint \xb4\xf2\xbf\xaa\xb2\xcb\xb5\xa5\xa1\xa3" "\n"
    "  hide          \xb0\xd1\xce\xc4\xbc\xfe\xd2\xfe\xb2\xd8\xbd\xf8\xcd\xbc\xcf\xf1\xa3\xac\xb1\xa3\xb4\xe6\xce\xaa\xd0\xc2\xcd\xbc\xcf\xf1" "\n"
    "  recover       \xc8\xa1\xb3\xf6\xcd\xbc\xcf\xf1\xd6\xd0\xd2\xfe\xb2\xd8\xb5\xc4\xce\xc4\xbc\xfe" "\n"
    "  capacity      \xc3\xbf\xb7\xf9\xcd\xbc\xcf\xf1\xd7\xee\xb6\xe0\xc4\xdc\xd2\xfe\xb2\xd8\xb5\xc4\xd7\xd6\xbd\xda\xca\xfd" "\n"
    "  planes        \xb0\xd1\xcd\xbc\xcf\xf1\xa3\xa8\xba\xcd\xd2\xfe\xb2\xd8\xba\xf3\xb5\xc4\xcd\xbc\xcf\xf1\xa3\xa9\xb5\xc4\xd7\xee\xb5\xcd\xce\xbb\xbb\xad\xb3\xc9\xc6\xbd\xc3\xe6\xcd\xbc" "\n"
    "  -q, --quiet   \xb2\xbb\xcf\xd4\xca\xbe\xb3\xc9\xb9\xa6\xd0\xc5\xcf\xa2\xa3\xa8\xcc\xe1\xca\xbe\xba\xcd\xb4\xed\xce\xf3\xd5\xd5\xb3\xa3\xcf\xd4\xca\xbe\xa3\xa9" "\n"
    "  -h, --help    \xcf\xd4\xca\xbe\xb1\xbe\xcb\xb5\xc3\xf7" "\n"
    "  --version     \xcf\xd4\xca\xbe\xb0\xe6\xb1\xbe" "\n",
    "\n"
    "Without arguments, glint runs its menu (in Simplified Chinese).\n"
    "  hide          hide PAYLOAD in COVER and save the result as OUTPUT\n"
    "  recover       write the payload hidden in STEGO to OUTPUT\n"
    "  capacity      print the largest payload, in bytes, that each image takes\n"
    "  planes        draw the lowest bits of IMAGE (and of STEGO) as PICTURE\n"
    "  -q, --quiet   print no success messages (notes and errors still show)\n"
    "  -h, --help    show this help\n"
    "  --version     show the version\n"};

// The help's lines on pictures, after its commands and options.
// 图像：
//   原始图像和图像可以是任何种类的 BMP、PNG 或 JPEG；隐藏后的图像是
//   hide 写出的 BMP 或 PNG。新图像的文件名决定写出的格式：.png 写 PNG，
//   其他文件名（和 -）写经典 24 位 BMP；.jpg 等有损格式会毁掉隐藏的位，
//   不予接受。原始图像与要写出的格式不同时会被转换，并给出提示。
//   capacity 对 PNG 按输出 PNG 计算，对其他图像按输出 BMP 计算。
//   planes 在样本最低位为 1 处画白色：红、绿、蓝三幅，再加三者合成的
//   彩色一幅；干净的照片像噪点，隐藏的内容显示为一块。给出隐藏后的图像
//   时并排画出两者的最低位，以及它们的差别（放大）。
inline constexpr Text kHelpPictures{
    "\n"
    "\xcd\xbc\xcf\xf1\xa3\xba" "\n"
    "  \xd4\xad\xca\xbc\xcd\xbc\xcf\xf1\xba\xcd\xcd\xbc\xcf\xf1\xbf\xc9\xd2\xd4\xca\xc7\xc8\xce\xba\xce\xd6\xd6\xc0\xe0\xb5\xc4" " BMP\xa1\xa2" "PNG \xbb\xf2" " JPEG\xa3\xbb\xd2\xfe\xb2\xd8\xba\xf3\xb5\xc4\xcd\xbc\xcf\xf1\xca\xc7" "\n"
    "  hide \xd0\xb4\xb3\xf6\xb5\xc4" " BMP \xbb\xf2" " PNG\xa1\xa3\xd0\xc2\xcd\xbc\xcf\xf1\xb5\xc4\xce\xc4\xbc\xfe\xc3\xfb\xbe\xf6\xb6\xa8\xd0\xb4\xb3\xf6\xb5\xc4\xb8\xf1\xca\xbd\xa3\xba" ".png \xd0\xb4" " PNG\xa3\xac" "\n"
    "  \xc6\xe4\xcb\xfb\xce\xc4\xbc\xfe\xc3\xfb\xa3\xa8\xba\xcd" " -\xa3\xa9\xd0\xb4\xbe\xad\xb5\xe4" " 24 \xce\xbb" " BMP\xa3\xbb" ".jpg \xb5\xc8\xd3\xd0\xcb\xf0\xb8\xf1\xca\xbd\xbb\xe1\xbb\xd9\xb5\xf4\xd2\xfe\xb2\xd8\xb5\xc4\xce\xbb\xa3\xac" "\n"
    "  \xb2\xbb\xd3\xe8\xbd\xd3\xca\xdc\xa1\xa3\xd4\xad\xca\xbc\xcd\xbc\xcf\xf1\xd3\xeb\xd2\xaa\xd0\xb4\xb3\xf6\xb5\xc4\xb8\xf1\xca\xbd\xb2\xbb\xcd\xac\xca\xb1\xbb\xe1\xb1\xbb\xd7\xaa\xbb\xbb\xa3\xac\xb2\xa2\xb8\xf8\xb3\xf6\xcc\xe1\xca\xbe\xa1\xa3" "\n"
    "  capacity \xb6\xd4" " PNG \xb0\xb4\xca\xe4\xb3\xf6" " PNG \xbc\xc6\xcb\xe3\xa3\xac\xb6\xd4\xc6\xe4\xcb\xfb\xcd\xbc\xcf\xf1\xb0\xb4\xca\xe4\xb3\xf6" " BMP \xbc\xc6\xcb\xe3\xa1\xa3" "\n"
    "  planes \xd4\xda\xd1\xf9\xb1\xbe\xd7\xee\xb5\xcd\xce\xbb\xce\xaa" " 1 \xb4\xa6\xbb\xad\xb0\xd7\xc9\xab\xa3\xba\xba\xec\xa1\xa2\xc2\xcc\xa1\xa2\xc0\xb6\xc8\xfd\xb7\xf9\xa3\xac\xd4\xd9\xbc\xd3\xc8\xfd\xd5\xdf\xba\xcf\xb3\xc9\xb5\xc4" "\n"
    "  \xb2\xca\xc9\xab\xd2\xbb\xb7\xf9\xa3\xbb\xb8\xc9\xbe\xbb\xb5\xc4\xd5\xd5\xc6\xac\xcf\xf1\xd4\xeb\xb5\xe3\xa3\xac\xd2\xfe\xb2\xd8\xb5\xc4\xc4\xda\xc8\xdd\xcf\xd4\xca\xbe\xce\xaa\xd2\xbb\xbf\xe9\xa1\xa3\xb8\xf8\xb3\xf6\xd2\xfe\xb2\xd8\xba\xf3\xb5\xc4\xcd\xbc\xcf\xf1" "\n"
    "  \xca\xb1\xb2\xa2\xc5\xc5\xbb\xad\xb3\xf6\xc1\xbd\xd5\xdf\xb5\xc4\xd7\xee\xb5\xcd\xce\xbb\xa3\xac\xd2\xd4\xbc\xb0\xcb\xfc\xc3\xc7\xb5\xc4\xb2\xee\xb1\xf0\xa3\xa8\xb7\xc5\xb4\xf3\xa3\xa9\xa1\xa3" "\n",
    "\n"
    "Pictures:\n"
    "  COVER and IMAGE may be BMPs of any kind, PNGs or JPEGs; STEGO is the BMP\n"
    "  or PNG that hide wrote. OUTPUT's name says what hide writes: .png a PNG,\n"
    "  any other name (and -) a classic 24-bit BMP; .jpg and other lossy formats\n"
    "  are refused, as they would destroy the hidden bits. A cover of another\n"
    "  kind than the output is converted, with a note. capacity counts for a PNG\n"
    "  output from a PNG, and for a BMP output from any other image.\n"
    "  planes draws white where the lowest bit of a sample is 1: red, green and\n"
    "  blue apart, then all three in colour; a clean photograph looks like\n"
    "  noise, a payload shows as a block. With STEGO, the lowest bits of both\n"
    "  side by side, and their difference, amplified.\n"};

// The help's last lines: the streams, the names and the exit status.
// 信息写到标准错误；标准输出只有写到 - 的数据和 capacity 的结果。
// 文件名 - 表示标准输入（只能用于一个图像或文件），作为输出文件时表示标准输出；
// 名为 - 的文件请写作 ./-。文件名按原样使用；以 - 开头的文件名请写在 -- 之后。
// 退出状态：0 成功，1 失败或被拒绝，2 用法错误。
// 详见 man glint。
inline constexpr Text kHelpStreams{
    "\n"
    "\xd0\xc5\xcf\xa2\xd0\xb4\xb5\xbd\xb1\xea\xd7\xbc\xb4\xed\xce\xf3\xa3\xbb\xb1\xea\xd7\xbc\xca\xe4\xb3\xf6\xd6\xbb\xd3\xd0\xd0\xb4\xb5\xbd" " - \xb5\xc4\xca\xfd\xbe\xdd\xba\xcd" " capacity \xb5\xc4\xbd\xe1\xb9\xfb\xa1\xa3" "\n"
    "\xce\xc4\xbc\xfe\xc3\xfb" " - \xb1\xed\xca\xbe\xb1\xea\xd7\xbc\xca\xe4\xc8\xeb\xa3\xa8\xd6\xbb\xc4\xdc\xd3\xc3\xd3\xda\xd2\xbb\xb8\xf6\xcd\xbc\xcf\xf1\xbb\xf2\xce\xc4\xbc\xfe\xa3\xa9\xa3\xac\xd7\xf7\xce\xaa\xca\xe4\xb3\xf6\xce\xc4\xbc\xfe\xca\xb1\xb1\xed\xca\xbe\xb1\xea\xd7\xbc\xca\xe4\xb3\xf6\xa3\xbb" "\n"
    "\xc3\xfb\xce\xaa" " - \xb5\xc4\xce\xc4\xbc\xfe\xc7\xeb\xd0\xb4\xd7\xf7" " ./-\xa1\xa3\xce\xc4\xbc\xfe\xc3\xfb\xb0\xb4\xd4\xad\xd1\xf9\xca\xb9\xd3\xc3\xa3\xbb\xd2\xd4" " - \xbf\xaa\xcd\xb7\xb5\xc4\xce\xc4\xbc\xfe\xc3\xfb\xc7\xeb\xd0\xb4\xd4\xda" " -- \xd6\xae\xba\xf3\xa1\xa3" "\n"
    "\xcd\xcb\xb3\xf6\xd7\xb4\xcc\xac\xa3\xba" "0 \xb3\xc9\xb9\xa6\xa3\xac" "1 \xca\xa7\xb0\xdc\xbb\xf2\xb1\xbb\xbe\xdc\xbe\xf8\xa3\xac" "2 \xd3\xc3\xb7\xa8\xb4\xed\xce\xf3\xa1\xa3" "\n"
    "\xcf\xea\xbc\xfb" " man glint\xa1\xa3" "\n",
    "\n"
    "Messages go to standard error; standard output carries only the data\n"
    "written to - and the lines of capacity.\n"
    "A name of - is standard input (for one image or payload only) or, as\n"
    "OUTPUT, standard output; write ./- for a file named -. Names are taken as\n"
    "given; put names that start with - after --.\n"
    "Exit status: 0 success, 1 refused or failed, 2 usage error.\n"
    "More in man glint.\n"};

// Usage errors, each followed by the usage and kTryHelp.

// 更多信息请运行 glint --help。
inline constexpr Text kTryHelp{"\xb8\xfc\xb6\xe0\xd0\xc5\xcf\xa2\xc7\xeb\xd4\xcb\xd0\xd0" " glint --help\xa1\xa3" "\n",
                               "Try 'glint --help' for more information.\n"};

// 无法识别的参数： / unknown argument:
inline constexpr Text kUnknownArgument{"\xce\xde\xb7\xa8\xca\xb6\xb1\xf0\xb5\xc4\xb2\xce\xca\xfd\xa3\xba",
                                       "unknown argument: "};

// 无法识别的子命令： / unknown command:
inline constexpr Text kUnknownCommand{"\xce\xde\xb7\xa8\xca\xb6\xb1\xf0\xb5\xc4\xd7\xd3\xc3\xfc\xc1\xee\xa3\xba",
                                      "unknown command: "};

// 多余的参数： / unexpected argument:
inline constexpr Text kUnexpectedArgument{"\xb6\xe0\xd3\xe0\xb5\xc4\xb2\xce\xca\xfd\xa3\xba",
                                          "unexpected argument: "};

// 参数个数不对： / wrong number of names for:
inline constexpr Text kWrongArgumentCount{"\xb2\xce\xca\xfd\xb8\xf6\xca\xfd\xb2\xbb\xb6\xd4\xa3\xba",
                                          "wrong number of names for "};

// 缺少子命令 / missing command
inline constexpr Text kMissingCommand{"\xc8\xb1\xc9\xd9\xd7\xd3\xc3\xfc\xc1\xee", "missing command"};

// 标准输入（-）只能用于一个文件名 / standard input (-) can stand for one name only
inline constexpr Text kStandardInputTwice{
    "\xb1\xea\xd7\xbc\xca\xe4\xc8\xeb\xa3\xa8" "-\xa3\xa9\xd6\xbb\xc4\xdc\xd3\xc3\xd3\xda\xd2\xbb\xb8\xf6\xce\xc4\xbc\xfe\xc3\xfb",
    "standard input (-) can stand for one name only"};

// Success texts of hide and recover, on standard error; --quiet drops them.
// The Chinese ones are the dialogue's own.
inline constexpr Text kImageLoaded{kLoadSucceeded, "Image loaded."};
inline constexpr Text kPayloadHidden{kHideSucceeded, "Payload hidden."};
inline constexpr Text kFileSaved{kSaveSucceeded, "File saved."};
inline constexpr Text kPayloadRecovered{kDecodeSucceeded, "Payload recovered."};

// Failures: "glint: NAME: STEP: REASON", the step being one of these.

// 无法载入图像 / cannot load image
inline constexpr Text kCannotLoadImage{"\xce\xde\xb7\xa8\xd4\xd8\xc8\xeb\xcd\xbc\xcf\xf1", "cannot load image"};

// 无法读取要隐藏的文件 / cannot read payload
inline constexpr Text kCannotReadPayload{
    "\xce\xde\xb7\xa8\xb6\xc1\xc8\xa1\xd2\xaa\xd2\xfe\xb2\xd8\xb5\xc4\xce\xc4\xbc\xfe", "cannot read payload"};

// 无法隐藏 / cannot hide
inline constexpr Text kCannotHide{"\xce\xde\xb7\xa8\xd2\xfe\xb2\xd8", "cannot hide"};

// 容量不足 / no room: the step of capacity
inline constexpr Text kNoRoom{"\xc8\xdd\xc1\xbf\xb2\xbb\xd7\xe3", "no room"};

// 无法保存 / cannot save
inline constexpr Text kCannotSave{"\xce\xde\xb7\xa8\xb1\xa3\xb4\xe6", "cannot save"};

// 无法取出隐藏的文件 / cannot recover
inline constexpr Text kCannotRecover{"\xce\xde\xb7\xa8\xc8\xa1\xb3\xf6\xd2\xfe\xb2\xd8\xb5\xc4\xce\xc4\xbc\xfe",
                                     "cannot recover"};

// 无法写出 / cannot write
inline constexpr Text kCannotWrite{"\xce\xde\xb7\xa8\xd0\xb4\xb3\xf6", "cannot write"};

// 标准输出 / standard output: the name of the stream the texts failed on
inline constexpr Text kStandardOutput{"\xb1\xea\xd7\xbc\xca\xe4\xb3\xf6", "standard output"};

// The program's own reasons, where the system has none. {} stands for a number.

// 比 BMP 文件头还短 / shorter than a BMP header
inline constexpr Text kShorterThanHeaders{"\xb1\xc8" " BMP \xce\xc4\xbc\xfe\xcd\xb7\xbb\xb9\xb6\xcc",
                                          "shorter than a BMP header"};

// 文件头给出的大小不足 54 字节 / its header gives a file size below 54 bytes
inline constexpr Text kSizeBelowHeaders{
    "\xce\xc4\xbc\xfe\xcd\xb7\xb8\xf8\xb3\xf6\xb5\xc4\xb4\xf3\xd0\xa1\xb2\xbb\xd7\xe3" " 54 \xd7\xd6\xbd\xda",
    "its header gives a file size below 54 bytes"};

// 比文件头所说的短 / shorter than its header says
inline constexpr Text kShorterThanSize{"\xb1\xc8\xce\xc4\xbc\xfe\xcd\xb7\xcb\xf9\xcb\xb5\xb5\xc4\xb6\xcc",
                                       "shorter than its header says"};

// 超出图像容量（最多 {} 字节） / too long for the image, which takes at most {} bytes
inline constexpr Text kTooLong{
    "\xb3\xac\xb3\xf6\xcd\xbc\xcf\xf1\xc8\xdd\xc1\xbf\xa3\xa8\xd7\xee\xb6\xe0" " {} \xd7\xd6\xbd\xda\xa3\xa9",
    "too long for the image, which takes at most {} bytes"};

// 图像太小，放不下任何内容 / the image is too small to carry a payload
inline constexpr Text kTooSmall{"\xcd\xbc\xcf\xf1\xcc\xab\xd0\xa1\xa3\xac\xb7\xc5\xb2\xbb\xcf\xc2\xc8\xce\xba\xce\xc4\xda\xc8\xdd",
                                "the image is too small to carry a payload"};

// 文件头所说的颜色表比图像还大 / its header implies a colour table larger than the image
inline constexpr Text kTableTooLarge{
    "\xce\xc4\xbc\xfe\xcd\xb7\xcb\xf9\xcb\xb5\xb5\xc4\xd1\xd5\xc9\xab\xb1\xed\xb1\xc8\xcd\xbc\xcf\xf1\xbb\xb9\xb4\xf3",
    "its header implies a colour table larger than the image"};

// 图像中没有能取出的隐藏文件 / the image holds no payload that fits it
inline constexpr Text kNoPayload{
    "\xcd\xbc\xcf\xf1\xd6\xd0\xc3\xbb\xd3\xd0\xc4\xdc\xc8\xa1\xb3\xf6\xb5\xc4\xd2\xfe\xb2\xd8\xce\xc4\xbc\xfe",
    "the image holds no payload that fits it"};

// Notes on a converted cover, each on a line after "glint: NAME: ".
// kConvertedToBmp for a BMP of another kind, with kCoverHas and its parts
// joined by kListSeparator (the last two by kListLastSeparator); kConvertedFrom
// FORMAT kConvertedTo TARGET and kAsTheNameAsks (.png or .bmp),
// kGlintsChoice (any other name) or kJpegLosesBits for other formats; then
// kRoundedTo8Bits and kAlphaDropped where they apply.


// 提示：已转换为经典 24 位 BMP，只让像素承载数据 / note: converted to a classic 24-bit BMP, so that only pixels carry the payload
inline constexpr Text kConvertedToBmp{"\xcc\xe1\xca\xbe\xa3\xba\xd2\xd1\xd7\xaa\xbb\xbb\xce\xaa\xbe\xad\xb5\xe4" " 24 \xce\xbb" " BMP\xa3\xac\xd6\xbb\xc8\xc3\xcf\xf1\xcb\xd8\xb3\xd0\xd4\xd8\xca\xfd\xbe\xdd",
    "note: converted to a classic 24-bit BMP, so that only pixels carry the payload"};

// ；原图有 / ; the cover has 
inline constexpr Text kCoverHas{"\xa3\xbb\xd4\xad\xcd\xbc\xd3\xd0",
    "; the cover has "};

// 每像素 {} 位 / {} bits a pixel
inline constexpr Text kBitsPerPixel{"\xc3\xbf\xcf\xf1\xcb\xd8" " {} \xce\xbb",
    "{} bits a pixel"};

// 提示：已从  / note: converted from 
inline constexpr Text kConvertedFrom{"\xcc\xe1\xca\xbe\xa3\xba\xd2\xd1\xb4\xd3" " ",
    "note: converted from "};

//  转换为  /  to 
inline constexpr Text kConvertedTo{" \xd7\xaa\xbb\xbb\xce\xaa" " ",
    " to "};

// 经典 24 位 BMP / a classic 24-bit BMP
inline constexpr Text kClassicBmp{"\xbe\xad\xb5\xe4" " 24 \xce\xbb" " BMP",
    "a classic 24-bit BMP"};

// ，这是输出文件名要求的 / , as the output's name asks
inline constexpr Text kAsTheNameAsks{"\xa3\xac\xd5\xe2\xca\xc7\xca\xe4\xb3\xf6\xce\xc4\xbc\xfe\xc3\xfb\xd2\xaa\xc7\xf3\xb5\xc4",
    ", as the output's name asks"};

// ，输出文件名不是 .png 时 glint 都写经典 BMP / , which glint writes for every output not named .png
inline constexpr Text kGlintsChoice{"\xa3\xac\xca\xe4\xb3\xf6\xce\xc4\xbc\xfe\xc3\xfb\xb2\xbb\xca\xc7" " .png " "\xca\xb1" " glint " "\xb6\xbc\xd0\xb4\xbe\xad\xb5\xe4" " BMP",
    ", which glint writes for every output not named .png"};

// ：JPEG 保存时会改掉隐藏的位 / : a JPEG loses hidden bits whenever it is saved
inline constexpr Text kJpegLosesBits{"\xa3\xba" "JPEG \xb1\xa3\xb4\xe6\xca\xb1\xbb\xe1\xb8\xc4\xb5\xf4\xd2\xfe\xb2\xd8\xb5\xc4\xce\xbb",
    ": a JPEG loses hidden bits whenever it is saved"};

// 提示：16 位样本已舍入为 8 位，BMP 只能存 8 位；输出命名为 .png 可保留 / note: 16-bit samples rounded to 8 bits, as a BMP holds no more; name the output .png to keep them
inline constexpr Text kRoundedTo8Bits{"\xcc\xe1\xca\xbe\xa3\xba" "16 \xce\xbb\xd1\xf9\xb1\xbe\xd2\xd1\xc9\xe1\xc8\xeb\xce\xaa" " 8 \xce\xbb\xa3\xac" "BMP \xd6\xbb\xc4\xdc\xb4\xe6" " 8 \xce\xbb\xa3\xbb\xca\xe4\xb3\xf6\xc3\xfc\xc3\xfb\xce\xaa" " .png \xbf\xc9\xb1\xa3\xc1\xf4",
    "note: 16-bit samples rounded to 8 bits, as a BMP holds no more; name the output .png to keep them"};

// 提示：已去掉透明度，经典 BMP 没有透明度；输出命名为 .png 可保留 / note: transparency dropped, as a classic BMP has none; name the output .png to keep it
inline constexpr Text kAlphaDropped{"\xcc\xe1\xca\xbe\xa3\xba\xd2\xd1\xc8\xa5\xb5\xf4\xcd\xb8\xc3\xf7\xb6\xc8\xa3\xac\xbe\xad\xb5\xe4" " BMP \xc3\xbb\xd3\xd0\xcd\xb8\xc3\xf7\xb6\xc8\xa3\xbb\xca\xe4\xb3\xf6\xc3\xfc\xc3\xfb\xce\xaa" " .png \xbf\xc9\xb1\xa3\xc1\xf4",
    "note: transparency dropped, as a classic BMP has none; name the output .png to keep it"};

// 提示：以上是输出 BMP 时的容量；输出 PNG 时为 {} 字节 / note: that is for a BMP output; a PNG output takes {} bytes
inline constexpr Text kCapacityAsBmp{"\xcc\xe1\xca\xbe\xa3\xba\xd2\xd4\xc9\xcf\xca\xc7\xca\xe4\xb3\xf6" " BMP \xca\xb1\xb5\xc4\xc8\xdd\xc1\xbf\xa3\xbb\xca\xe4\xb3\xf6" " PNG \xca\xb1\xce\xaa" " {} \xd7\xd6\xbd\xda",
    "note: that is for a BMP output; a PNG output takes {} bytes"};

// After a hide with a passphrase whose changes left lone pixels, each one off
// the colour of the flat patch around it: counted as they are made, or
// estimated from a sample of them where steps are not steered.
// 提示：约 {} 处改动在纯色区域留下了孤立的像素，看得出来；请少藏一些，或换一张纹理更多的图片 / note: about {} changes left lone pixels in flat patches, where they can be seen; hide less, or choose a picture with more texture
inline constexpr Text kLonePixels{"\xcc\xe1\xca\xbe\xa3\xba\xd4\xbc" " {} " "\xb4\xa6\xb8\xc4\xb6\xaf\xd4\xda\xb4\xbf\xc9\xab\xc7\xf8\xd3\xf2\xc1\xf4\xcf\xc2\xc1\xcb\xb9\xc2\xc1\xa2\xb5\xc4\xcf\xf1\xcb\xd8\xa3\xac\xbf\xb4\xb5\xc3\xb3\xf6\xc0\xb4\xa3\xbb\xc7\xeb\xc9\xd9\xb2\xd8\xd2\xbb\xd0\xa9\xa3\xac\xbb\xf2\xbb\xbb\xd2\xbb\xd5\xc5\xce\xc6\xc0\xed\xb8\xfc\xb6\xe0\xb5\xc4\xcd\xbc\xc6\xac",
    "note: about {} changes left lone pixels in flat patches, where they can be seen; hide less, or choose a picture with more texture"};

// The parts of kCoverHas.

// 前 40 字节之后的 {} 字节信息头 / {} bytes of info header after the first 40
inline constexpr Text kHeaderBytes{
    "\xc7\xb0" " 40 \xd7\xd6\xbd\xda\xd6\xae\xba\xf3\xb5\xc4" " {} \xd7\xd6\xbd\xda\xd0\xc5\xcf\xa2\xcd\xb7",
    "{} bytes of info header after the first 40"};

// 颜色掩码（{} 字节） / {} bytes of colour masks
inline constexpr Text kMaskBytes{"\xd1\xd5\xc9\xab\xd1\xda\xc2\xeb\xa3\xa8" "{} \xd7\xd6\xbd\xda\xa3\xa9",
                                 "{} bytes of colour masks"};

// 颜色表（{} 项） / a colour table of {} entries
inline constexpr Text kColorTable{"\xd1\xd5\xc9\xab\xb1\xed\xa3\xa8" "{} \xcf\xee\xa3\xa9",
                                  "a colour table of {} entries"};

// 压缩的像素数据 / compressed pixel data
inline constexpr Text kCompressed{"\xd1\xb9\xcb\xf5\xb5\xc4\xcf\xf1\xcb\xd8\xca\xfd\xbe\xdd", "compressed pixel data"};

// 、 / ,
inline constexpr Text kListSeparator{"\xa1\xa2", ", "};

// 和 / and
inline constexpr Text kListLastSeparator{"\xba\xcd", " and "};

// Reasons of pictures that are not read or written.


// 不是 glint 能读取的图像（BMP、PNG 或 JPEG） / not a picture glint reads (BMP, PNG or JPEG)
inline constexpr Text kNotAPicture{"\xb2\xbb\xca\xc7" " glint \xc4\xdc\xb6\xc1\xc8\xa1\xb5\xc4\xcd\xbc\xcf\xf1\xa3\xa8" "BMP\xa1\xa2" "PNG \xbb\xf2" " JPEG\xa3\xa9",
    "not a picture glint reads (BMP, PNG or JPEG)"};

// 图像已损坏 / damaged picture
inline constexpr Text kDamaged{"\xcd\xbc\xcf\xf1\xd2\xd1\xcb\xf0\xbb\xb5",
    "damaged picture"};

// 超过 {} 像素 / more than {} pixels
inline constexpr Text kTooManyPixels{"\xb3\xac\xb9\xfd" " {} \xcf\xf1\xcb\xd8",
    "more than {} pixels"};

// 比图像尺寸所需的还短 / shorter than its size needs
inline constexpr Text kTooShortForSize{"\xb1\xc8\xcd\xbc\xcf\xf1\xb3\xdf\xb4\xe7\xcb\xf9\xd0\xe8\xb5\xc4\xbb\xb9\xb6\xcc",
    "shorter than its size needs"};

// glint 不支持的图像种类（例如 CMYK 的 JPEG） / a kind of picture glint does not take (a CMYK JPEG, say)
inline constexpr Text kUnsupportedKind{"glint \xb2\xbb\xd6\xa7\xb3\xd6\xb5\xc4\xcd\xbc\xcf\xf1\xd6\xd6\xc0\xe0\xa3\xa8\xc0\xfd\xc8\xe7" " CMYK \xb5\xc4" " JPEG\xa3\xa9",
    "a kind of picture glint does not take (a CMYK JPEG, say)"};

// BMP 放不下（最多 4 GiB），请把输出命名为 .png / too large for a BMP (4 GiB at most); name the output .png
inline constexpr Text kTooLargeForBmp{"BMP \xb7\xc5\xb2\xbb\xcf\xc2\xa3\xa8\xd7\xee\xb6\xe0" " 4 GiB\xa3\xa9\xa3\xac\xc7\xeb\xb0\xd1\xca\xe4\xb3\xf6\xc3\xfc\xc3\xfb\xce\xaa" " .png",
    "too large for a BMP (4 GiB at most); name the output .png"};

// 超过 4 GiB，比 glint 读取的任何图像都大 / larger than 4 GiB, beyond any picture glint reads
inline constexpr Text kFileTooLarge{"\xb3\xac\xb9\xfd" " 4 GiB\xa3\xac\xb1\xc8" " glint \xb6\xc1\xc8\xa1\xb5\xc4\xc8\xce\xba\xce\xcd\xbc\xcf\xf1\xb6\xbc\xb4\xf3",
    "larger than 4 GiB, beyond any picture glint reads"};

// 图像库无法写出这幅图像 / the picture library could not write it
inline constexpr Text kUnencodable{"\xcd\xbc\xcf\xf1\xbf\xe2\xce\xde\xb7\xa8\xd0\xb4\xb3\xf6\xd5\xe2\xb7\xf9\xcd\xbc\xcf\xf1",
    "the picture library could not write it"};

// 请先把它转换为 PNG 或经典 24 位 BMP，例如：convert in.bmp -type truecolor BMP3:cover.bmp / convert it to a PNG or a classic 24-bit BMP first, for example: convert in.bmp -type truecolor BMP3:cover.bmp
inline constexpr Text kConvertBmpFirst{"\xc7\xeb\xcf\xc8\xb0\xd1\xcb\xfc\xd7\xaa\xbb\xbb\xce\xaa" " PNG \xbb\xf2\xbe\xad\xb5\xe4" " 24 \xce\xbb" " BMP\xa3\xac\xc0\xfd\xc8\xe7\xa3\xba" "convert in.bmp -type truecolor BMP3:cover.bmp",
    "convert it to a PNG or a classic 24-bit BMP first, for example: convert in.bmp -type truecolor BMP3:cover.bmp"};

// JPEG 中不会有隐藏的文件：recover 只取 hide 写出的 BMP 或 PNG / a JPEG holds no payload: recover takes the BMP or PNG that hide wrote
inline constexpr Text kJpegHoldsNoPayload{"JPEG \xd6\xd0\xb2\xbb\xbb\xe1\xd3\xd0\xd2\xfe\xb2\xd8\xb5\xc4\xce\xc4\xbc\xfe\xa3\xba" "recover \xd6\xbb\xc8\xa1" " hide \xd0\xb4\xb3\xf6\xb5\xc4" " BMP \xbb\xf2" " PNG",
    "a JPEG holds no payload: recover takes the BMP or PNG that hide wrote"};

// 不是 BMP 或 PNG 图像 / not a BMP or PNG image
inline constexpr Text kNotBmpOrPng{"\xb2\xbb\xca\xc7" " BMP \xbb\xf2" " PNG \xcd\xbc\xcf\xf1",
    "not a BMP or PNG image"};

// 有损格式会毁掉隐藏的位，请把输出命名为 .png 或 .bmp / a lossy format would destroy the hidden bits; name it .png or .bmp
inline constexpr Text kLossyOutput{"\xd3\xd0\xcb\xf0\xb8\xf1\xca\xbd\xbb\xe1\xbb\xd9\xb5\xf4\xd2\xfe\xb2\xd8\xb5\xc4\xce\xbb\xa3\xac\xc7\xeb\xb0\xd1\xca\xe4\xb3\xf6\xc3\xfc\xc3\xfb\xce\xaa" " .png \xbb\xf2" " .bmp",
    "a lossy format would destroy the hidden bits; name it .png or .bmp"};

// The output named is a file glint must not replace.

// 它是输入文件之一，保存会毁掉它；请另选一个名字 / it is one of the input files, which saving would destroy; choose another name
inline constexpr Text kOutputIsInput{"\xcb\xfc\xca\xc7\xca\xe4\xc8\xeb\xce\xc4\xbc\xfe\xd6\xae\xd2\xbb\xa3\xac\xb1\xa3\xb4\xe6\xbb\xe1\xbb\xd9\xb5\xf4\xcb\xfc\xa3\xbb\xc7\xeb\xc1\xed\xd1\xa1\xd2\xbb\xb8\xf6\xc3\xfb\xd7\xd6",
    "it is one of the input files, which saving would destroy; choose another name"};

// 文件已存在；请先删除它或另选一个名字 / the file exists already; remove it or choose a new name
inline constexpr Text kOutputExists{"\xce\xc4\xbc\xfe\xd2\xd1\xb4\xe6\xd4\xda\xa3\xbb\xc7\xeb\xcf\xc8\xc9\xbe\xb3\xfd\xcb\xfc\xbb\xf2\xc1\xed\xd1\xa1\xd2\xbb\xb8\xf6\xc3\xfb\xd7\xd6",
    "the file exists already; remove it or choose a new name"};

// The planes command.


// 无法比较 / cannot compare
inline constexpr Text kCannotCompare{"\xce\xde\xb7\xa8\xb1\xc8\xbd\xcf",
    "cannot compare"};

// 两幅图像大小不同 / the two pictures differ in size
inline constexpr Text kSizesDiffer{"\xc1\xbd\xb7\xf9\xcd\xbc\xcf\xf1\xb4\xf3\xd0\xa1\xb2\xbb\xcd\xac",
    "the two pictures differ in size"};

// 无法画出 / cannot draw
inline constexpr Text kCannotDraw{"\xce\xde\xb7\xa8\xbb\xad\xb3\xf6",
    "cannot draw"};

// 太大：平面图会超过 {} 像素 / too large: its planes would take more than {} pixels
inline constexpr Text kTooLargeToDraw{"\xcc\xab\xb4\xf3\xa3\xba\xc6\xbd\xc3\xe6\xcd\xbc\xbb\xe1\xb3\xac\xb9\xfd" " {} \xcf\xf1\xcb\xd8",
    "too large: its planes would take more than {} pixels"};


// Encryption with a passphrase (-p, --passphrase-file). Each text in
// Simplified Chinese (GBK) and in English (ASCII).
// Prompts are written to the terminal itself and carry no line end.

// 输入口令：
inline constexpr Text kAskPassphrase{
    "\xca\xe4\xc8\xeb\xbf\xda\xc1\xee\xa3\xba",
    "Passphrase: "};

// 再次输入口令：
inline constexpr Text kAskPassphraseAgain{
    "\xd4\xd9\xb4\xce\xca\xe4\xc8\xeb\xbf\xda\xc1\xee\xa3\xba",
    "Passphrase again: "};

// 两次输入的口令不同
inline constexpr Text kPassphrasesDiffer{
    "\xc1\xbd\xb4\xce\xca\xe4\xc8\xeb\xb5\xc4\xbf\xda\xc1\xee\xb2\xbb\xcd\xac",
    "the two passphrases differ"};

// 口令为空
inline constexpr Text kPassphraseEmpty{
    "\xbf\xda\xc1\xee\xce\xaa\xbf\xd5",
    "the passphrase is empty"};

// 口令超过 1024 字节
inline constexpr Text kPassphraseTooLong{
    "\xbf\xda\xc1\xee\xb3\xac\xb9\xfd" " 1024 \xd7\xd6\xbd\xda",
    "the passphrase is longer than 1024 bytes"};

// 无法从终端读取口令，可用 --passphrase-file 文件 给出口令
inline constexpr Text kNoTerminalForPassphrase{
    "\xce\xde\xb7\xa8\xb4\xd3\xd6\xd5\xb6\xcb\xb6\xc1\xc8\xa1\xbf\xda\xc1\xee\xa3\xac\xbf\xc9\xd3\xc3"
    " --passphrase-file \xce\xc4\xbc\xfe" " \xb8\xf8\xb3\xf6\xbf\xda\xc1\xee",
    "no terminal to read the passphrase from; give it with --passphrase-file FILE"};

// 无法读取口令 / cannot read passphrase: the step, after the file's name
inline constexpr Text kCannotReadPassphrase{
    "\xce\xde\xb7\xa8\xb6\xc1\xc8\xa1\xbf\xda\xc1\xee",
    "cannot read passphrase"};

// 无法解密 / cannot decrypt: the step of recover -p
inline constexpr Text kCannotDecrypt{"\xce\xde\xb7\xa8\xbd\xe2\xc3\xdc", "cannot decrypt"};

// One reason for every way recover -p can fail to decrypt, since they cannot
// be told apart.
// 口令不对，或图像中没有加密的文件，或图像已被改动
inline constexpr Text kNotDecrypted{
    "\xbf\xda\xc1\xee\xb2\xbb\xb6\xd4\xa3\xac\xbb\xf2\xcd\xbc\xcf\xf1\xd6\xd0"
    "\xc3\xbb\xd3\xd0\xbc\xd3\xc3\xdc\xb5\xc4\xce\xc4\xbc\xfe\xa3\xac\xbb\xf2\xcd\xbc\xcf\xf1\xd2\xd1\xb1\xbb\xb8\xc4\xb6\xaf",
    "wrong passphrase, no encrypted payload, or a changed image"};

// Why recover -p has no name to write under: a payload from standard input, or an image of the version 1.0 layout.
// 图像中没有保存文件名，请给出输出文件
inline constexpr Text kNoStoredName{
    "\xcd\xbc\xcf\xf1\xd6\xd0\xc3\xbb\xd3\xd0\xb1\xa3\xb4\xe6\xce\xc4\xbc\xfe\xc3\xfb\xa3\xac\xc7\xeb\xb8\xf8\xb3\xf6\xca\xe4\xb3\xf6\xce\xc4\xbc\xfe",
    "the image keeps no file name: name an OUTPUT file"};

// A stored name that would leave the folder, or that the system refuses.
// 图像中保存的名字不是本文件夹中的文件名
inline constexpr Text kStoredNameOutsideFolder{
    "\xcd\xbc\xcf\xf1\xd6\xd0\xb1\xa3\xb4\xe6\xb5\xc4\xc3\xfb\xd7\xd6\xb2\xbb\xca\xc7\xb1\xbe\xce\xc4\xbc\xfe\xbc\xd0\xd6\xd0\xb5\xc4\xce\xc4\xbc\xfe\xc3\xfb",
    "the name kept in the image names no file in the folder"};

// 加密库出错
inline constexpr Text kCryptoFailed{
    "\xbc\xd3\xc3\xdc\xbf\xe2\xb3\xf6\xb4\xed",
    "the cryptographic library failed"};

// 口令文件和输入文件不能都是标准输入
inline constexpr Text kPassphraseAndInputBothStandard{
    "\xbf\xda\xc1\xee\xce\xc4\xbc\xfe\xba\xcd\xca\xe4\xc8\xeb\xce\xc4\xbc\xfe\xb2\xbb\xc4\xdc\xb6\xbc\xca\xc7\xb1\xea\xd7\xbc\xca\xe4\xc8\xeb",
    "the passphrase file and an input file cannot both be standard input"};

// 选项缺少参数：(then the option)
inline constexpr Text kMissingOptionValue{
    "\xd1\xa1\xcf\xee\xc8\xb1\xc9\xd9\xb2\xce\xca\xfd\xa3\xba",
    "the option needs a value: "};

// A line after the usage.
//  加上 -p 即用口令加密隐藏；glint recover -p 图像 [输出文件|文件夹]
inline constexpr Text kUsageEncryption{
    "  \xbc\xd3\xc9\xcf -p \xbc\xb4\xd3\xc3\xbf\xda\xc1\xee\xbc\xd3\xc3\xdc\xd2\xfe\xb2\xd8\xa3\xbbglint recover -p \xcd\xbc\xcf\xf1 [\xca\xe4\xb3\xf6\xce\xc4\xbc\xfe|\xce\xc4\xbc\xfe\xbc\xd0]\n",
    "  with -p, hidden with a passphrase; glint recover -p STEGO [OUTPUT|FOLDER]\n"};

// The help's lines on encryption, after its commands and options.
// 加密：
//   -p            hide 先用口令加密，再把内容分散藏入像素，使图像看不出藏有内容；
//                 recover 取出后解密，不给输出文件或给出文件夹时，按保存的
//                 文件名写出新文件；capacity 给出能隐藏的字节数（另须减去
//                 文件名的字节数）；口令从终端读取，不回显，hide 要输入两次
//   --passphrase-file 文件
//                 口令取自文件的第一行（- 为标准输入），隐含 -p
// 不带 -p 时只隐藏、不加密：任何人都能取出隐藏的文件。
inline constexpr Text kHelpEncryption{
    "\n"
    "\xbc\xd3\xc3\xdc\xa3\xba\n"
    "  -p            hide \xcf\xc8\xd3\xc3\xbf\xda\xc1\xee\xbc\xd3\xc3\xdc\xa3\xac\xd4\xd9\xb0\xd1\xc4\xda\xc8\xdd\xb7\xd6\xc9\xa2\xb2\xd8\xc8\xeb\xcf\xf1\xcb\xd8\xa3\xac\xca\xb9\xcd\xbc\xcf\xf1\xbf\xb4\xb2\xbb\xb3\xf6\xb2\xd8\xd3\xd0\xc4\xda\xc8\xdd\xa3\xbb\n"
    "                recover \xc8\xa1\xb3\xf6\xba\xf3\xbd\xe2\xc3\xdc\xa3\xac\xb2\xbb\xb8\xf8\xca\xe4\xb3\xf6\xce\xc4\xbc\xfe\xbb\xf2\xb8\xf8\xb3\xf6\xce\xc4\xbc\xfe\xbc\xd0\xca\xb1\xa3\xac\xb0\xb4\xb1\xa3\xb4\xe6\xb5\xc4\n"
    "                \xce\xc4\xbc\xfe\xc3\xfb\xd0\xb4\xb3\xf6\xd0\xc2\xce\xc4\xbc\xfe\xa3\xbb" "capacity \xb8\xf8\xb3\xf6\xc4\xdc\xd2\xfe\xb2\xd8\xb5\xc4\xd7\xd6\xbd\xda\xca\xfd\xa3\xa8\xc1\xed\xd0\xeb\xbc\xf5\xc8\xa5\n"
    "                \xce\xc4\xbc\xfe\xc3\xfb\xb5\xc4\xd7\xd6\xbd\xda\xca\xfd\xa3\xa9\xa3\xbb\xbf\xda\xc1\xee\xb4\xd3\xd6\xd5\xb6\xcb\xb6\xc1\xc8\xa1\xa3\xac\xb2\xbb\xbb\xd8\xcf\xd4\xa3\xachide \xd2\xaa\xca\xe4\xc8\xeb\xc1\xbd\xb4\xce\n"
    "  --passphrase-file \xce\xc4\xbc\xfe\n"
    "                \xbf\xda\xc1\xee\xc8\xa1\xd7\xd4\xce\xc4\xbc\xfe\xb5\xc4\xb5\xda\xd2\xbb\xd0\xd0\xa3\xa8- \xce\xaa\xb1\xea\xd7\xbc\xca\xe4\xc8\xeb\xa3\xa9\xa3\xac\xd2\xfe\xba\xac -p\n"
    "\xb2\xbb\xb4\xf8 -p \xca\xb1\xd6\xbb\xd2\xfe\xb2\xd8\xa1\xa2\xb2\xbb\xbc\xd3\xc3\xdc\xa3\xba\xc8\xce\xba\xce\xc8\xcb\xb6\xbc\xc4\xdc\xc8\xa1\xb3\xf6\xd2\xfe\xb2\xd8\xb5\xc4\xce\xc4\xbc\xfe\xa1\xa3\n",
    "\n"
    "Encryption:\n"
    "  -p            hide encrypts with a passphrase and scatters the payload over\n"
    "                the pixels, so that the image cannot be told from a clean one;\n"
    "                recover decrypts, and without OUTPUT, or given a folder, writes\n"
    "                a new file under the payload's stored name; capacity gives the\n"
    "                room less the bytes of the payload's file name; the passphrase\n"
    "                is read from the terminal without echo, twice for hide\n"
    "  --passphrase-file FILE\n"
    "                the passphrase is the first line of FILE (- is standard\n"
    "                input); implies -p\n"
    "Without -p the payload is hidden but not encrypted: anyone can recover it.\n"};

}  // namespace glint::msg
