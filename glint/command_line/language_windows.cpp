#include <windows.h>

#include "command_line/language.h"

namespace glint {

Language userLanguage() {
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_CHINESE ? Language::Chinese : Language::English;
}

}  // namespace glint
