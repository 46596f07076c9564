// Every console text of cairn, as GBK (code page 936) bytes. The console
// writer shows them in a terminal's own encoding and writes these bytes
// everywhere else. The readable text stands in the comment above each one.
#pragma once

namespace cairn::msg {

// "'abc'的MD5: " (ASCII apostrophes and colon, then one space)
inline constexpr char kCaption[] = "'abc'\xb5\xc4" "MD5: ";

// The console's own press-any-key line, written where no pause command exists.
// 请按任意键继续. . .
inline constexpr char kPressAnyKey[] = "\xc7\xeb\xb0\xb4\xc8\xce\xd2\xe2\xbc\xfc\xbc\xcc\xd0\xf8" ". . .";

}  // namespace cairn::msg
