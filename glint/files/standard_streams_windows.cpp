#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "files/standard_streams.h"

namespace glint {

void useBinaryStandardInput() { ::_setmode(::_fileno(stdin), _O_BINARY); }

namespace {

// WriteFile moves a 32-bit count at a time; a pipe may take fewer bytes.
constexpr std::size_t kLargestPiece = std::size_t{1} << 30;

std::error_code writeWhole(HANDLE output, const ByteRange& range) {
    for (std::size_t done = 0; done < range.size;) {
        DWORD written = 0;
        const auto size = static_cast<DWORD>(std::min(range.size - done, kLargestPiece));
        if (!::WriteFile(output, range.bytes + done, size, &written, nullptr)) {
            return {static_cast<int>(::GetLastError()), std::system_category()};
        }
        if (written == 0) return {ERROR_WRITE_FAULT, std::system_category()};
        done += written;
    }
    return {};
}

}  // namespace

// Straight to the handle, past the C runtime's text mode.
std::error_code writeStandardOutput(std::initializer_list<ByteRange> pieces) {
    std::cout.flush();
    std::fflush(stdout);
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == INVALID_HANDLE_VALUE || output == nullptr) return {ERROR_INVALID_HANDLE, std::system_category()};
    for (const ByteRange& piece : pieces) {
        if (const std::error_code failed = writeWhole(output, piece)) return failed;
    }
    return {};
}

}  // namespace glint
