#include "encryption/passphrase.h"

#include <algorithm>
#include <cstring>

namespace glint {
namespace {

constexpr unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
// Room for a byte-order mark and a carriage return beyond the longest passphrase.
constexpr std::size_t kLineRoom = kLongestPassphrase + sizeof kByteOrderMark + 1;

// A line read (its end taken off) as a passphrase: Empty, TooLong when it is
// longer than kLongestPassphrase or `overflowed`, else Read.
Passphrase checkedPassphrase(TypedLine line) {
    if (!line.bytes) return {PassphraseResult::NoMemory, nullptr};
    if (line.overflowed || line.bytes->size() > kLongestPassphrase) return {PassphraseResult::TooLong, nullptr};
    if (line.bytes->size() == 0) return {PassphraseResult::Empty, nullptr};
    return {PassphraseResult::Read, std::move(line.bytes)};
}

// Reading stops at the first byte beyond the room: a line that long is
// refused whole, and the rest of a file without a line end (/dev/zero) may
// never come to an end.
Passphrase firstLine(PassphraseFile& file) {
    auto line = std::make_unique<SecretBytes>(kLineRoom);
    if (!line->allocated()) return {PassphraseResult::NoMemory, nullptr};
    unsigned char byte = 0;
    while (file.next(byte) && byte != '\n') {
        if (!line->append(byte)) return {PassphraseResult::TooLong, nullptr};
    }
    if (file.error()) return {PassphraseResult::Unreadable, nullptr, file.error()};
    unsigned char* bytes = line->data();
    std::size_t size = line->size();
    if (size > 0 && bytes[size - 1] == '\r') --size;
    if (size >= sizeof kByteOrderMark && std::equal(bytes, bytes + sizeof kByteOrderMark, kByteOrderMark)) {
        size -= sizeof kByteOrderMark;
        std::memmove(bytes, bytes + sizeof kByteOrderMark, size);
    }
    line->resize(size);
    return checkedPassphrase({std::move(line)});
}

// One answer, or two that must match when `again` is given.
Passphrase typedAt(PassphraseTerminal& terminal, const char* prompt, const char* again) {
    if (!terminal.opened()) return {PassphraseResult::NoTerminal, nullptr};
    Passphrase first = checkedPassphrase(terminal.ask(prompt));
    if (first.result != PassphraseResult::Read || again == nullptr) return first;
    const Passphrase second = checkedPassphrase(terminal.ask(again));
    if (second.result == PassphraseResult::NoMemory) return {PassphraseResult::NoMemory, nullptr};
    if (second.result != PassphraseResult::Read || !(*first.bytes == *second.bytes)) {
        return {PassphraseResult::Differ, nullptr};
    }
    return first;
}

}  // namespace

Passphrase readTypedPassphrase(const char* prompt, const char* again) {
    keepMemoryPrivate();
    PassphraseTerminal terminal;
    return typedAt(terminal, prompt, again);
}

Passphrase readPassphraseFile(const char* name, const char* prompt, const char* again) {
    keepMemoryPrivate();
    PassphraseFile file(name);
    if (file.error()) return {PassphraseResult::Unreadable, nullptr, file.error()};
    if (file.isTerminal()) {
        PassphraseTerminal terminal(file.handle());
        return typedAt(terminal, prompt, again);
    }
    return firstLine(file);
}

}  // namespace glint
