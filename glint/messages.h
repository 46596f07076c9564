// Every console text of glint, as GBK (code page 936) bytes. The console
// writer shows them in a terminal's own encoding and writes these bytes
// everywhere else. The readable text stands in the comment above each one.
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

// The command line. Usage and help go to standard output on request and to
// standard error after a usage error.

// 用法：
//   glint hide 原始.bmp 要隐藏的文件 新.bmp
//   glint recover 图像.bmp 输出文件
//   glint capacity 图像.bmp...
inline constexpr char kUsage[] =
    "\xd3\xc3\xb7\xa8\xa3\xba" "\n"
    "  glint hide \xd4\xad\xca\xbc" ".bmp \xd2\xaa\xd2\xfe\xb2\xd8\xb5\xc4\xce\xc4\xbc\xfe" " \xd0\xc2" ".bmp\n"
    "  glint recover \xcd\xbc\xcf\xf1" ".bmp \xca\xe4\xb3\xf6\xce\xc4\xbc\xfe" "\n"
    "  glint capacity \xcd\xbc\xcf\xf1" ".bmp...\n";

// 不带参数运行 glint 打开菜单。
//   hide         把文件隐藏进图像，保存为新图像
//   recover      取出图像中隐藏的文件
//   capacity     每幅图像最多能隐藏的字节数
//   --help, -h   显示本说明
//   --version    显示版本
// 文件名按原样使用；以 - 开头的文件名请写在 -- 之后。
// 退出状态：0 成功，1 失败或被拒绝，2 用法错误。
inline constexpr char kHelpDetails[] =
    "\xb2\xbb\xb4\xf8\xb2\xce\xca\xfd\xd4\xcb\xd0\xd0" " glint \xb4\xf2\xbf\xaa\xb2\xcb\xb5\xa5\xa1\xa3" "\n"
    "  hide         \xb0\xd1\xce\xc4\xbc\xfe\xd2\xfe\xb2\xd8\xbd\xf8\xcd\xbc\xcf\xf1\xa3\xac\xb1\xa3\xb4\xe6\xce\xaa\xd0\xc2\xcd\xbc\xcf\xf1" "\n"
    "  recover      \xc8\xa1\xb3\xf6\xcd\xbc\xcf\xf1\xd6\xd0\xd2\xfe\xb2\xd8\xb5\xc4\xce\xc4\xbc\xfe" "\n"
    "  capacity     \xc3\xbf\xb7\xf9\xcd\xbc\xcf\xf1\xd7\xee\xb6\xe0\xc4\xdc\xd2\xfe\xb2\xd8\xb5\xc4\xd7\xd6\xbd\xda\xca\xfd" "\n"
    "  --help, -h   \xcf\xd4\xca\xbe\xb1\xbe\xcb\xb5\xc3\xf7" "\n"
    "  --version    \xcf\xd4\xca\xbe\xb0\xe6\xb1\xbe" "\n"
    "\xce\xc4\xbc\xfe\xc3\xfb\xb0\xb4\xd4\xad\xd1\xf9\xca\xb9\xd3\xc3\xa3\xbb\xd2\xd4" " - \xbf\xaa\xcd\xb7\xb5\xc4\xce\xc4\xbc\xfe\xc3\xfb\xc7\xeb\xd0\xb4\xd4\xda" " -- \xd6\xae\xba\xf3\xa1\xa3" "\n"
    "\xcd\xcb\xb3\xf6\xd7\xb4\xcc\xac\xa3\xba" "0 \xb3\xc9\xb9\xa6\xa3\xac" "1 \xca\xa7\xb0\xdc\xbb\xf2\xb1\xbb\xbe\xdc\xbe\xf8\xa3\xac" "2 \xd3\xc3\xb7\xa8\xb4\xed\xce\xf3\xa1\xa3" "\n";

// 无法识别的参数：
inline constexpr char kUnknownArgument[] = "\xce\xde\xb7\xa8\xca\xb6\xb1\xf0\xb5\xc4\xb2\xce\xca\xfd\xa3\xba";

// 参数个数不对：
inline constexpr char kWrongArgumentCount[] = "\xb2\xce\xca\xfd\xb8\xf6\xca\xfd\xb2\xbb\xb6\xd4\xa3\xba";

// 缺少子命令
inline constexpr char kMissingCommand[] = "\xc8\xb1\xc9\xd9\xd7\xd3\xc3\xfc\xc1\xee";

// Encryption with a passphrase (-p, --passphrase-file). Each text in
// Simplified Chinese (GBK) and in English (ASCII); the Chinese one is shown.
// Prompts are written to the terminal itself and carry no line end.

// 输入口令：
inline constexpr char kAskPassphrase[] = "\xca\xe4\xc8\xeb\xbf\xda\xc1\xee\xa3\xba";
inline constexpr char kAskPassphraseEnglish[] = "Passphrase: ";

// 再次输入口令：
inline constexpr char kAskPassphraseAgain[] = "\xd4\xd9\xb4\xce\xca\xe4\xc8\xeb\xbf\xda\xc1\xee\xa3\xba";
inline constexpr char kAskPassphraseAgainEnglish[] = "Passphrase again: ";

// 两次输入的口令不同
inline constexpr char kPassphrasesDiffer[] = "\xc1\xbd\xb4\xce\xca\xe4\xc8\xeb\xb5\xc4\xbf\xda\xc1\xee\xb2\xbb\xcd\xac";
inline constexpr char kPassphrasesDifferEnglish[] = "The two passphrases differ";

// 口令为空
inline constexpr char kPassphraseEmpty[] = "\xbf\xda\xc1\xee\xce\xaa\xbf\xd5";
inline constexpr char kPassphraseEmptyEnglish[] = "The passphrase is empty";

// 口令超过 1024 字节
inline constexpr char kPassphraseTooLong[] = "\xbf\xda\xc1\xee\xb3\xac\xb9\xfd" " 1024 \xd7\xd6\xbd\xda";
inline constexpr char kPassphraseTooLongEnglish[] = "The passphrase is longer than 1024 bytes";

// 无法从终端读取口令，可用 --passphrase-file 文件 给出口令
inline constexpr char kNoTerminalForPassphrase[] =
    "\xce\xde\xb7\xa8\xb4\xd3\xd6\xd5\xb6\xcb\xb6\xc1\xc8\xa1\xbf\xda\xc1\xee\xa3\xac\xbf\xc9\xd3\xc3"
    " --passphrase-file \xce\xc4\xbc\xfe" " \xb8\xf8\xb3\xf6\xbf\xda\xc1\xee";
inline constexpr char kNoTerminalForPassphraseEnglish[] =
    "No terminal to read the passphrase from; give it with --passphrase-file FILE";

// 无法读取口令文件：(the name follows)
inline constexpr char kPassphraseFileUnreadable[] = "\xce\xde\xb7\xa8\xb6\xc1\xc8\xa1\xbf\xda\xc1\xee\xce\xc4\xbc\xfe\xa3\xba";
inline constexpr char kPassphraseFileUnreadableEnglish[] = "Cannot read the passphrase file: ";

// One text for every way recover -p can fail to decrypt, since they cannot
// be told apart.
// 解密失败：口令不对，或图像中没有加密的文件，或图像已被改动
inline constexpr char kDecryptFailed[] =
    "\xbd\xe2\xc3\xdc\xca\xa7\xb0\xdc\xa3\xba\xbf\xda\xc1\xee\xb2\xbb\xb6\xd4\xa3\xac\xbb\xf2\xcd\xbc\xcf\xf1\xd6\xd0"
    "\xc3\xbb\xd3\xd0\xbc\xd3\xc3\xdc\xb5\xc4\xce\xc4\xbc\xfe\xa3\xac\xbb\xf2\xcd\xbc\xcf\xf1\xd2\xd1\xb1\xbb\xb8\xc4\xb6\xaf";
inline constexpr char kDecryptFailedEnglish[] =
    "Decryption failed: a wrong passphrase, no encrypted payload, or a changed image";

// 加密库出错
inline constexpr char kCryptoFailed[] = "\xbc\xd3\xc3\xdc\xbf\xe2\xb3\xf6\xb4\xed";
inline constexpr char kCryptoFailedEnglish[] = "The cryptographic library failed";

// 口令文件和输入文件不能都是标准输入：(then "-")
inline constexpr char kStandardInputTwice[] =
    "\xbf\xda\xc1\xee\xce\xc4\xbc\xfe\xba\xcd\xca\xe4\xc8\xeb\xce\xc4\xbc\xfe\xb2\xbb\xc4\xdc\xb6\xbc\xca\xc7\xb1\xea\xd7\xbc\xca\xe4\xc8\xeb\xa3\xba";
inline constexpr char kStandardInputTwiceEnglish[] = "The passphrase file and an input file cannot both be standard input: ";

// 选项缺少参数：(then the option)
inline constexpr char kMissingOptionValue[] = "\xd1\xa1\xcf\xee\xc8\xb1\xc9\xd9\xb2\xce\xca\xfd\xa3\xba";
inline constexpr char kMissingOptionValueEnglish[] = "The option needs a value: ";

// A line after the usage.
//   hide 和 recover 加上 -p 或 --passphrase-file 文件 即加密、解密
inline constexpr char kUsageEncryption[] =
    "  hide \xba\xcd" " recover \xbc\xd3\xc9\xcf" " -p \xbb\xf2" " --passphrase-file \xce\xc4\xbc\xfe"
    " \xbc\xb4\xbc\xd3\xc3\xdc\xa1\xa2\xbd\xe2\xc3\xdc" "\n";
inline constexpr char kUsageEncryptionEnglish[] =
    "  with -p or --passphrase-file FILE, hide encrypts and recover decrypts\n";

// Lines after the help's details.
// 加密：
//   -p           hide 先用口令加密再隐藏，recover 取出后解密，
//                capacity 给出能隐藏的加密文件字节数；
//                口令从终端读取，不回显，hide 要输入两次
//   --passphrase-file 文件
//                口令取自文件的第一行（- 为标准输入），并同 -p
// 不带 -p 时只隐藏、不加密：任何人都能取出隐藏的文件。
inline constexpr char kHelpEncryption[] =
    "\xbc\xd3\xc3\xdc\xa3\xba" "\n"
    "  -p           hide \xcf\xc8\xd3\xc3\xbf\xda\xc1\xee\xbc\xd3\xc3\xdc\xd4\xd9\xd2\xfe\xb2\xd8\xa3\xac"
    "recover \xc8\xa1\xb3\xf6\xba\xf3\xbd\xe2\xc3\xdc\xa3\xac" "\n"
    "               capacity \xb8\xf8\xb3\xf6\xc4\xdc\xd2\xfe\xb2\xd8\xb5\xc4\xbc\xd3\xc3\xdc\xce\xc4\xbc\xfe\xd7\xd6\xbd\xda\xca\xfd\xa3\xbb" "\n"
    "               \xbf\xda\xc1\xee\xb4\xd3\xd6\xd5\xb6\xcb\xb6\xc1\xc8\xa1\xa3\xac\xb2\xbb\xbb\xd8\xcf\xd4\xa3\xac"
    "hide \xd2\xaa\xca\xe4\xc8\xeb\xc1\xbd\xb4\xce" "\n"
    "  --passphrase-file \xce\xc4\xbc\xfe" "\n"
    "               \xbf\xda\xc1\xee\xc8\xa1\xd7\xd4\xce\xc4\xbc\xfe\xb5\xc4\xb5\xda\xd2\xbb\xd0\xd0\xa3\xa8"
    "- \xce\xaa\xb1\xea\xd7\xbc\xca\xe4\xc8\xeb\xa3\xa9\xa3\xac\xb2\xa2\xcd\xac" " -p\n"
    "\xb2\xbb\xb4\xf8" " -p \xca\xb1\xd6\xbb\xd2\xfe\xb2\xd8\xa1\xa2\xb2\xbb\xbc\xd3\xc3\xdc\xa3\xba"
    "\xc8\xce\xba\xce\xc8\xcb\xb6\xbc\xc4\xdc\xc8\xa1\xb3\xf6\xd2\xfe\xb2\xd8\xb5\xc4\xce\xc4\xbc\xfe\xa1\xa3" "\n";
inline constexpr char kHelpEncryptionEnglish[] =
    "Encryption:\n"
    "  -p           hide encrypts with a passphrase before hiding, recover decrypts,\n"
    "               capacity gives the room for an encrypted payload; the passphrase\n"
    "               is read from the terminal without echo, twice for hide\n"
    "  --passphrase-file FILE\n"
    "               the passphrase is the first line of FILE (- is standard input); implies -p\n"
    "Without -p the payload is hidden but not encrypted: anyone can recover it.\n";

}  // namespace glint::msg
