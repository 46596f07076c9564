#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "command_line/sums.h"
#include "common/console.h"
#include "common/entry.h"
#include "common/key_wait.h"
#include "files/file_access.h"
#include "hashing/md5_hasher.h"
#include "messages.h"

namespace {

int printDigestOfAbc(const cairn::files::ClosedAtStart& closed) {
    common::Console out = common::Console::standardOutput();
    const std::string str("abc");
    const cairn::Md5Hasher mymd5(str);
    out.text(cairn::msg::kCaption);
    out.raw(mymd5.toHex());
    out.endLine();
    common::waitForKey("PAUSE", cairn::msg::kPressAnyKey, common::AfterTheKey::ProgramEnds, out);
    if (!out.failed()) return 0;
    // A digest that never reached its reader is no success; reported as md5sum reports it.
    common::Console err = common::Console::standardError();
    err.text(cairn::msg::kProgramPrefix);
    err.text(cairn::msg::kWriteError);
    if (closed.output) err.raw(std::string(": ") + std::strerror(EBADF));
    err.endLine();
    return 1;
}

}  // namespace

int programMain(int argc, char** argv) {
    const cairn::files::ClosedAtStart closed = cairn::files::guardStandardDescriptors();
    if (argc > 1) return cairn::runSums(argc - 1, argv + 1, closed);
    try {
        return printDigestOfAbc(closed);
    } catch (const std::bad_alloc&) {
        return cairn::reportMemoryExhausted();
    }
}
