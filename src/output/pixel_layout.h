// The byte-order conversions of the save dispatch: 4-byte pixels in, the
// layout an encoder takes out, pixel i to pixel i. Plain shuffles done on
// whole words, which the compiler turns into vector code.
#pragma once

#include <cstddef>
#include <cstdint>

// B G R A to R G B A, or back: bytes 0 and 2 of every pixel change places.
void swapRedAndBlue(const std::uint8_t* in, std::uint8_t* out, std::size_t pixelCount);

// The first three bytes of every pixel, packed: in order, or with bytes 0 and
// 2 exchanged (B G R A to R G B, R G B A to B G R).
void dropAlpha(const std::uint8_t* in, std::uint8_t* out, std::size_t pixelCount, bool swapRedAndBlue);

#if defined(__x86_64__) || defined(__i386__)
// The SSSE3 part of dropAlpha: whole groups of sixteen pixels; returns how
// many pixels it converted.
std::size_t dropAlphaSsse3(const std::uint8_t* in, std::uint8_t* out, std::size_t pixelCount, bool swapRedAndBlue);
#endif
