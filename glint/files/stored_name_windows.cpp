#include "files/stored_name.h"

#include "common/ascii_case.h"

namespace glint {

namespace {

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices in every folder, with
// any extension.
bool isDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    for (char& c : stem) c = common::asciiUpper(c);
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

}  // namespace

bool namesFileInFolder(const std::string& name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || std::string("<>:\"/\\|?*").find(c) != std::string::npos) return false;
    }
    return !isDeviceName(name);
}

}  // namespace glint
