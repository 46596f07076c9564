// Every console text of glint, as GBK (code page 936) bytes written with no
// conversion. The readable text stands in the comment above each constant.
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

}  // namespace glint::msg
