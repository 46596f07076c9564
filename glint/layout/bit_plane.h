// The bit-plane kernels behind hiding and recovering: byte k of a message
// travels in bit 0 of the eight carrier bytes 8k ... 8k+7, least significant
// bit first. Only bit 0 of a carrier byte is ever changed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glint {

// Writes the bits of message[0 .. count) into bit 0 of carrier[0 .. 8 * count).
void embedBits(unsigned char* carrier, const unsigned char* message, std::size_t count);

// Gathers bit 0 of carrier[0 .. 8 * count) into message[0 .. count).
void extractBits(unsigned char* message, const unsigned char* carrier, std::size_t count);

// The 32-bit length word carried by carrier[0 .. 32), bit i in carrier[i].
void embedLength(unsigned char* carrier, std::uint32_t length);
std::uint32_t extractLength(const unsigned char* carrier);

}  // namespace glint
