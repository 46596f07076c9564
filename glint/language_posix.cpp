#include <cerrno>
#include <clocale>
#include <cstring>

#include "language.h"

namespace glint {

// LC_ALL, LC_MESSAGES and LANG, as setlocale resolves them; a locale that is
// not installed leaves the C locale, whose texts are English.
Language userLanguage() {
    std::setlocale(LC_ALL, "");
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    return messages != nullptr && std::strncmp(messages, "zh", 2) == 0 ? Language::Chinese : Language::English;
}

std::error_code lastSystemError() { return {errno != 0 ? errno : EIO, std::generic_category()}; }

// strerror speaks the language of LC_MESSAGES in the encoding of LC_CTYPE.
std::string systemReason(const std::error_code& reason) { return std::strerror(reason.value()); }

}  // namespace glint
