// The compression functions of the MD5 kernels, each in its own file built
// for its own instruction set (see md5_lanes.h for what they take). Only
// md5_kernels_x86.cpp, which knows when the processor runs them, calls the
// vector ones.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cairn {

void md5CompressScalar(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount);
void md5CompressScalarx2(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount);
void md5CompressSse2(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount);
void md5CompressSse2x2(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount);
void md5CompressAvx2(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount);
void md5CompressAvx2x2(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount);
void md5CompressAvx512(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount);
void md5CompressAvx512x2(std::uint32_t* state, const unsigned char* const* blocks, std::size_t blockCount);

}  // namespace cairn
