// The per-MCU transform of the JPEG writer: colour conversion, forward DCT,
// quantisation and rounding of one 8 x 8 MCU (Y, Cb, Cr). Every variant does
// the same single-precision operations in the same order as the scalar one,
// lane by lane, so all of them give the same coefficients, bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

// Per component, in zig-zag order. sizes and bits are what the entropy coder
// takes (T.81 F.1.2.1): computed here, many lanes at once, rather than per
// code. They are only defined for the non-zero AC coefficients.
struct JpegMcu {
    alignas(64) std::int16_t coefficients[3][64];
    alignas(
        64) std::uint16_t bits[3][64]; // the coefficient, minus 1 when negative: its low `size` bits follow the code
    alignas(64) std::uint8_t sizes[3][64]; // magnitude category: the bit length of |coefficient|, 0 for 0
    std::uint64_t nonzero[3];              // bit i set when coefficient i is not 0
};

// rows[k] points at 8 packed RGB pixels of the MCU's row k (edges already
// replicated by the caller). Divisors are row-major.
using TransformMcu = void (*)(const std::uint8_t* const rows[8], const float* luminanceDivisors,
                              const float* chrominanceDivisors, JpegMcu& out);

void transformMcuScalar(const std::uint8_t* const rows[8], const float* luminanceDivisors,
                        const float* chrominanceDivisors, JpegMcu& out);
#if defined(__x86_64__) || defined(__i386__)
void transformMcuAvx2(const std::uint8_t* const rows[8], const float* luminanceDivisors,
                      const float* chrominanceDivisors, JpegMcu& out);
void transformMcuAvx512(const std::uint8_t* const rows[8], const float* luminanceDivisors,
                        const float* chrominanceDivisors, JpegMcu& out);
#endif

// The fastest variant this processor runs.
TransformMcu selectTransformMcu();
