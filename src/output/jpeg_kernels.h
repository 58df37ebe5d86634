// The per-MCU transform of the JPEG writer: colour conversion, forward DCT,
// quantisation and rounding of one 8 x 8 MCU (Y, Cb, Cr). Every variant does
// the same single-precision operations in the same order as the scalar one,
// lane by lane, so all of them give the same coefficients, bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

struct JpegMcu {
    alignas(64) std::int16_t coefficients[3][64]; // zig-zag order, per component
    std::uint64_t nonzero[3];                     // bit i set when zig-zag coefficient i is not 0
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
