// AVX-512 (F + BW) per-MCU transform: the AVX2 arithmetic, with the zig-zag
// reordering and the non-zero mask done by two word permutes and a test.
// Compiled with -mavx2 -mavx512f -mavx512bw, never -mfma.
#include <cstdint>
#include <immintrin.h>

namespace {

inline std::uint64_t zigzagAvx512(const __m256i (&packed)[4], std::int16_t* zigzag);

} // namespace

#define TRANSFORM_MCU_NAME transformMcuAvx512
#define ZIGZAG_BLOCK zigzagAvx512
#include "output/jpeg_kernels_x86.inc"

namespace {

inline std::uint64_t zigzagAvx512(const __m256i (&packed)[4], std::int16_t* zigzag) {
    alignas(64) static constexpr std::int16_t firstHalf[32] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32,
                                                               25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                                                               41, 34, 27, 20, 13, 6,  7,  14, 21, 28};
    alignas(64) static constexpr std::int16_t secondHalf[32] = {35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15,
                                                                23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31,
                                                                39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    // Kept in registers: storing 256-bit halves and loading 512 bits would stall.
    // (gcc 12's own inserti64x4 wrapper trips its uninitialised-value warning.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
    const __m512i a = _mm512_inserti64x4(_mm512_castsi256_si512(packed[0]), packed[1], 1);
    const __m512i b = _mm512_inserti64x4(_mm512_castsi256_si512(packed[2]), packed[3], 1);
#pragma GCC diagnostic pop
    const __m512i z0 = _mm512_permutex2var_epi16(a, _mm512_load_si512(firstHalf), b);
    const __m512i z1 = _mm512_permutex2var_epi16(a, _mm512_load_si512(secondHalf), b);
    _mm512_store_si512(zigzag, z0);
    _mm512_store_si512(zigzag + 32, z1);
    return std::uint64_t{_mm512_test_epi16_mask(z0, z0)} | std::uint64_t{_mm512_test_epi16_mask(z1, z1)} << 32;
}

} // namespace
