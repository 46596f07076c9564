// The folder of test pictures. The build names it in UTF-8; made a path from
// char8_t, it stays that name on Windows too, where a narrow path would be
// read in the ANSI code page.
#pragma once

#include <filesystem>

inline std::filesystem::path testPictures() { return std::filesystem::path(u8"" GLINT_TEST_PICTURES); }
