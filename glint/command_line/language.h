// The user's language, for the command line: which of its texts it speaks.
#pragma once

namespace glint {

enum class Language { English, Chinese };

// Takes the user's locale for the C library, so that the system's reasons
// come in its language, and says which language the command line speaks:
// Chinese when the user's language is (any form of) Chinese.
Language userLanguage();

}  // namespace glint
