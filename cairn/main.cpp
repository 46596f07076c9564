#include <iostream>
#include <string>

#include "key_wait.h"
#include "md5_hasher.h"
#include "messages.h"

int main() {
    const std::string str("abc");
    const cairn::Md5Hasher mymd5(str);
    std::cout << cairn::msg::kCaption << mymd5.toHex() << std::endl;
    cairn::waitForKey("PAUSE");
    return 0;
}
