#include <string>
#include <vector>

#include "console.h"
#include "md5_hasher.h"
#include "messages.h"
#include "sums.h"

int main(int argc, char** argv) {
    cairn::Console out = cairn::Console::standardOutput();
    if (argc > 1) {
        cairn::Console err = cairn::Console::standardError();
        return cairn::runSums(std::vector<std::string>(argv + 1, argv + argc), out, err);
    }
    const std::string str("abc");
    const cairn::Md5Hasher mymd5(str);
    out.text(cairn::msg::kCaption);
    out.raw(mymd5.toHex());
    out.endLine();
    cairn::waitForKey("PAUSE", cairn::AfterTheKey::ProgramEnds, out);
    return 0;
}
