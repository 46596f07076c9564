#include <string>
#include <vector>

#include "common/entry.h"
#include "common/windows/wide_names.h"

// Wildcards in the arguments are expanded by the C runtime, on the wide
// names, as in the Windows ports of md5sum; a pattern that matches nothing
// stays as it is.
extern "C" {
int _dowildcard = -1;
}

// The arguments come from the wide command line (linked with -municode),
// never from the ANSI one, whose best-fit conversion can name another file.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> words;
    for (int i = 0; i < argc; ++i) words.push_back(common::utf8FromWide(argv[i]));
    std::vector<char*> pointers;
    for (std::string& word : words) pointers.push_back(word.data());
    pointers.push_back(nullptr);
    return programMain(argc, pointers.data());
}
