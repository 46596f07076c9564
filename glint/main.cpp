#include <string>
#include <vector>

#include "commands.h"
#include "console.h"
#include "menu.h"

int main(int argc, char** argv) {
    glint::ignoreBrokenPipes();
    glint::Console out = glint::Console::standardOutput();
    glint::Console err = glint::Console::standardError();
    if (argc > 1) return glint::runCommand(std::vector<std::string>(argv + 1, argv + argc), out, err);
    return glint::runMenu(glint::standardInput(), out, err, glint::waitForKey);
}
