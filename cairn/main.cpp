#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "console.h"
#include "entry.h"
#include "file_access.h"
#include "md5_hasher.h"
#include "messages.h"
#include "sums.h"

namespace {

int printDigestOfAbc(const cairn::files::ClosedAtStart& closed) {
    cairn::Console out = cairn::Console::standardOutput();
    const std::string str("abc");
    const cairn::Md5Hasher mymd5(str);
    out.text(cairn::msg::kCaption);
    out.raw(mymd5.toHex());
    out.endLine();
    cairn::waitForKey("PAUSE", cairn::AfterTheKey::ProgramEnds, out);
    if (!out.failed()) return 0;
    // A digest that never reached its reader is no success; reported as md5sum reports it.
    cairn::Console err = cairn::Console::standardError();
    err.text(cairn::msg::kProgramPrefix);
    err.text(cairn::msg::kWriteError);
    if (closed.output) err.raw(std::string(": ") + std::strerror(EBADF));
    err.endLine();
    return 1;
}

}  // namespace

int cairn::programMain(int argc, char** argv) {
    const cairn::files::ClosedAtStart closed = cairn::files::guardStandardDescriptors();
    if (argc > 1) return cairn::runSums(argc - 1, argv + 1, closed);
    try {
        return printDigestOfAbc(closed);
    } catch (const std::bad_alloc&) {
        return cairn::reportMemoryExhausted();
    }
}
