// A change made to a payload's bytes before they are hidden and undone after
// they are recovered (an encryption), with bytes of its own carried before
// and after them (a salt and nonce, a tag). The carrier hides the three
// pieces one after another as one payload, so the layout does not change.
#pragma once

#include <cstddef>

namespace glint {

class PayloadSeal {
public:
    enum class Opened { Yes, Refused, Failed };

    PayloadSeal(std::size_t before, std::size_t after) : beforeBytes(before), afterBytes(after) {}
    virtual ~PayloadSeal() = default;
    PayloadSeal(const PayloadSeal&) = delete;
    PayloadSeal& operator=(const PayloadSeal&) = delete;

    std::size_t overhead() const { return beforeBytes + afterBytes; }

    // Changes payload[0 .. size) in place and fills `before` and `after`;
    // false when it could not.
    virtual bool close(unsigned char* before, unsigned char* payload, std::size_t size, unsigned char* after) = 0;
    // Undoes close in place. Refused when the bytes are not what a close made
    // (another key, or changed bytes), Failed when it could not try; the
    // payload's bytes are wiped then.
    virtual Opened open(const unsigned char* before, unsigned char* payload, std::size_t size,
                        const unsigned char* after) = 0;

    const std::size_t beforeBytes;
    const std::size_t afterBytes;
};

}  // namespace glint
