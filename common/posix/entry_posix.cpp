#include <clocale>

#include "common/entry.h"

// The user's character set, once, for every text shown on or typed at a
// terminal; each program takes the rest of the locale where it speaks the
// user's language.
int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "");
    return programMain(argc, argv);
}
