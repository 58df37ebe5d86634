// AVX2 per-MCU transform (this file is compiled with -mavx2, never -mfma).
#include <cstdint>
#include <immintrin.h>

namespace {

inline std::uint64_t zigzagAvx2(const __m256i (&packed)[4], std::int16_t* zigzag);

} // namespace

#define TRANSFORM_MCU_NAME transformMcuAvx2
#define ZIGZAG_BLOCK zigzagAvx2
#include "output/jpeg_kernels_x86.inc"

namespace {

inline std::uint64_t zigzagAvx2(const __m256i (&packed)[4], std::int16_t* zigzag) {
    alignas(32) std::int16_t natural[64];
    for (int k = 0; k < 4; ++k)
        _mm256_store_si256(reinterpret_cast<__m256i*>(natural + k * 16), packed[k]);
    for (int i = 0; i < 64; ++i)
        zigzag[i] = natural[jpeg::zigZag[i]];
    const __m256i zero = _mm256_setzero_si256();
    std::uint64_t zeros = 0;
    for (int half = 0; half < 2; ++half) {
        const __m256i a = _mm256_load_si256(reinterpret_cast<const __m256i*>(zigzag + half * 32));
        const __m256i b = _mm256_load_si256(reinterpret_cast<const __m256i*>(zigzag + half * 32 + 16));
        const __m256i bytes = _mm256_permute4x64_epi64(
            _mm256_packs_epi16(_mm256_cmpeq_epi16(a, zero), _mm256_cmpeq_epi16(b, zero)), 0xD8);
        zeros |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes))} << (half * 32);
    }
    return ~zeros;
}

} // namespace
