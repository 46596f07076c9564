#include <string>
#include <vector>

#include "command_line/commands.h"
#include "command_line/language.h"
#include "common/console.h"
#include "common/console_input.h"
#include "common/entry.h"
#include "dialogue/menu.h"

int programMain(int argc, char** argv) {
    common::ignoreBrokenPipes();
    // The dialogue keeps its designed bytes on pipes and files; the command
    // line speaks the locale's encoding everywhere.
    const bool commandLine = argc > 1;
    const auto texts = commandLine ? common::Console::Texts::InLocaleEncoding : common::Console::Texts::AsGiven;
    common::Console out = common::Console::standardOutput(texts);
    common::Console err = common::Console::standardError(texts);
    if (commandLine) {
        return glint::runCommand(std::vector<std::string>(argv + 1, argv + argc), out, err, glint::userLanguage());
    }
    return glint::runMenu(common::standardInput(), out, err, glint::waitForAnyKey);
}
