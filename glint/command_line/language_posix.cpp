#include <clocale>
#include <cstring>

#include "command_line/language.h"

namespace glint {

// LC_ALL, LC_MESSAGES and LANG, as setlocale resolves them; a locale that is
// not installed leaves the C locale, whose texts are English.
Language userLanguage() {
    std::setlocale(LC_ALL, "");
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    return messages != nullptr && std::strncmp(messages, "zh", 2) == 0 ? Language::Chinese : Language::English;
}

}  // namespace glint
