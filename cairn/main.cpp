#include <string>

#include "console.h"
#include "md5_hasher.h"
#include "messages.h"

int main() {
    cairn::Console out = cairn::Console::standardOutput();
    const std::string str("abc");
    const cairn::Md5Hasher mymd5(str);
    out.text(cairn::msg::kCaption);
    out.raw(mymd5.toHex());
    out.endLine();
    cairn::waitForKey("PAUSE", out);
    return 0;
}
