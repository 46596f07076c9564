// Case folding of ASCII letters only. The C library folds by the locale: in
// a Turkish one it leaves I as it is (its lower case is the dotless i), so
// "GIF" would not match "gif". Extensions and codeset names are ASCII.
#pragma once

namespace common {

constexpr char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace common
