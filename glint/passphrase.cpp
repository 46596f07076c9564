#include "passphrase.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "file_names.h"
#include "language.h"

namespace glint {
namespace {

constexpr unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
// Room for a byte-order mark and a carriage return beyond the longest passphrase.
constexpr std::size_t kLineRoom = kLongestPassphrase + sizeof kByteOrderMark + 1;

// Byte by byte from an unbuffered stream: no copy of the line stays in a
// stream buffer outside secure memory.
Passphrase firstLine(std::istream& in) {
    auto line = std::make_unique<SecretBytes>(kLineRoom);
    if (!line->allocated()) return {PassphraseResult::NoMemory, nullptr};
    bool overflowed = false;
    for (int c = in.get(); c != std::char_traits<char>::eof() && c != '\n'; c = in.get()) {
        if (!line->append(static_cast<unsigned char>(c))) overflowed = true;
    }
    if (in.bad()) return {PassphraseResult::Unreadable, nullptr, lastSystemError()};
    unsigned char* bytes = line->data();
    std::size_t size = line->size();
    if (size > 0 && bytes[size - 1] == '\r') --size;
    if (size >= sizeof kByteOrderMark && std::equal(bytes, bytes + sizeof kByteOrderMark, kByteOrderMark)) {
        size -= sizeof kByteOrderMark;
        std::memmove(bytes, bytes + sizeof kByteOrderMark, size);
    }
    line->resize(size);
    return checkedPassphrase(std::move(line), overflowed);
}

}  // namespace

Passphrase checkedPassphrase(std::unique_ptr<SecretBytes> line, bool overflowed) {
    if (overflowed || line->size() > kLongestPassphrase) return {PassphraseResult::TooLong, nullptr};
    if (line->size() == 0) return {PassphraseResult::Empty, nullptr};
    return {PassphraseResult::Read, std::move(line)};
}

Passphrase readTypedPassphrase(const char* prompt, const char* again) {
    keepMemoryPrivate();
    PassphraseTerminal terminal;
    if (!terminal.opened()) return {PassphraseResult::NoTerminal, nullptr};
    Passphrase first = terminal.ask(prompt);
    if (first.result != PassphraseResult::Read || again == nullptr) return first;
    const Passphrase second = terminal.ask(again);
    if (second.result == PassphraseResult::NoMemory) return {PassphraseResult::NoMemory, nullptr};
    if (second.result != PassphraseResult::Read || !(*first.bytes == *second.bytes)) {
        return {PassphraseResult::Differ, nullptr};
    }
    return first;
}

Passphrase readPassphraseFile(const char* name) {
    keepMemoryPrivate();
    if (std::strcmp(name, "-") == 0) {
        // Nothing has read standard input yet, so it can still lose its buffer.
        std::setvbuf(stdin, nullptr, _IONBF, 0);
        return firstLine(std::cin);
    }
    std::ifstream file;
    file.rdbuf()->pubsetbuf(nullptr, 0);
    file.open(pathOfName(name), std::ios::binary);
    if (!file.is_open()) return {PassphraseResult::Unreadable, nullptr, lastSystemError()};
    return firstLine(file);
}

}  // namespace glint
