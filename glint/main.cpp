#include <string>
#include <vector>

#include "commands.h"
#include "console.h"
#include "entry.h"
#include "language.h"
#include "menu.h"

int glint::programMain(int argc, char** argv) {
    glint::ignoreBrokenPipes();
    // The dialogue keeps its designed bytes on pipes and files; the command
    // line speaks the locale's encoding everywhere.
    const bool commandLine = argc > 1;
    const auto texts = commandLine ? glint::Console::Texts::CommandLine : glint::Console::Texts::Dialogue;
    glint::Console out = glint::Console::standardOutput(texts);
    glint::Console err = glint::Console::standardError(texts);
    if (commandLine) {
        return glint::runCommand(std::vector<std::string>(argv + 1, argv + argc), out, err, glint::userLanguage());
    }
    return glint::runMenu(glint::standardInput(), out, err, glint::waitForKey);
}
