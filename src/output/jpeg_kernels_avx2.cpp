// AVX2 per-MCU transform (this file is compiled with -mavx2, never -mfma).
#include "output/jpeg_kernels_x86.inc"

namespace {

// Bit lengths of the magnitudes of 16 words, as words: the exponent of the
// magnitude converted to float (exact for every 16-bit value).
inline __m256i sizesOf(__m256i coefficients) {
    const __m256i magnitude = _mm256_abs_epi16(coefficients);
    const __m256i bias = _mm256_set1_epi32(126), zero = _mm256_setzero_si256();
    __m256i sizes[2];
    for (int half = 0; half < 2; ++half) {
        const __m256i wide = _mm256_cvtepu16_epi32(half == 0 ? _mm256_castsi256_si128(magnitude)
                                                             : _mm256_extracti128_si256(magnitude, 1));
        const __m256i exponent = _mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(wide)), 23);
        sizes[half] = _mm256_max_epi32(_mm256_sub_epi32(exponent, bias), zero);
    }
    return _mm256_permute4x64_epi64(_mm256_packs_epi32(sizes[0], sizes[1]), 0xD8);
}

std::uint64_t zigzag(const __m256i (&packed)[4], JpegMcu& mcu, int component) {
    alignas(32) std::int16_t natural[64];
    for (int k = 0; k < 4; ++k)
        _mm256_store_si256(reinterpret_cast<__m256i*>(natural + k * 16), packed[k]);
    std::int16_t* out = mcu.coefficients[component];
    for (int i = 0; i < 64; ++i)
        out[i] = natural[jpeg::zigZag[i]];
    const __m256i zero = _mm256_setzero_si256();
    std::uint64_t zeros = 0;
    for (int half = 0; half < 2; ++half) {
        const __m256i a = _mm256_load_si256(reinterpret_cast<const __m256i*>(out + half * 32));
        const __m256i b = _mm256_load_si256(reinterpret_cast<const __m256i*>(out + half * 32 + 16));
        const __m256i bytes = _mm256_permute4x64_epi64(
            _mm256_packs_epi16(_mm256_cmpeq_epi16(a, zero), _mm256_cmpeq_epi16(b, zero)), 0xD8);
        zeros |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes))} << (half * 32);
    }
    const std::uint64_t nonzero = ~zeros;
    // A block without AC coefficients (most of a desktop) needs no codes.
    if ((nonzero & ~std::uint64_t{1}) == 0)
        return nonzero;
    for (int half = 0; half < 2; ++half) {
        const __m256i a = _mm256_load_si256(reinterpret_cast<const __m256i*>(out + half * 32));
        const __m256i b = _mm256_load_si256(reinterpret_cast<const __m256i*>(out + half * 32 + 16));
        auto* bits = reinterpret_cast<__m256i*>(mcu.bits[component] + half * 32);
        _mm256_store_si256(bits, _mm256_add_epi16(a, _mm256_srai_epi16(a, 15)));
        _mm256_store_si256(bits + 1, _mm256_add_epi16(b, _mm256_srai_epi16(b, 15)));
        _mm256_store_si256(reinterpret_cast<__m256i*>(mcu.sizes[component] + half * 32),
                           _mm256_permute4x64_epi64(_mm256_packus_epi16(sizesOf(a), sizesOf(b)), 0xD8));
    }
    return nonzero;
}

} // namespace

void transformMcuAvx2(const std::uint8_t* const rows[8], const float* luminanceDivisors,
                      const float* chrominanceDivisors, JpegMcu& out) {
    __m256 y[8], cb[8], cr[8];
    const __m256 c587 = _mm256_set1_ps(0.587f), c299 = _mm256_set1_ps(0.299f), c114 = _mm256_set1_ps(0.114f);
    const __m256 c128 = _mm256_set1_ps(128.0f), cm16874 = _mm256_set1_ps(-0.16874f);
    const __m256 c33126 = _mm256_set1_ps(0.33126f), cHalf = _mm256_set1_ps(0.5f);
    const __m256 c41869 = _mm256_set1_ps(0.41869f), c08131 = _mm256_set1_ps(0.08131f);
    for (int k = 0; k < 8; ++k) {
        __m256 r, g, b;
        loadRgb8(rows[k], r, g, b);
        y[k] = _mm256_sub_ps(
            _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(c587, g), _mm256_mul_ps(c299, r)), _mm256_mul_ps(c114, b)), c128);
        cb[k] =
            _mm256_add_ps(_mm256_sub_ps(_mm256_mul_ps(cm16874, r), _mm256_mul_ps(c33126, g)), _mm256_mul_ps(cHalf, b));
        cr[k] =
            _mm256_sub_ps(_mm256_sub_ps(_mm256_mul_ps(cHalf, r), _mm256_mul_ps(c41869, g)), _mm256_mul_ps(c08131, b));
    }
    __m256i natural[3][4];
    transformBlock(y, luminanceDivisors, natural[0]);
    transformBlock(cb, chrominanceDivisors, natural[1]);
    transformBlock(cr, chrominanceDivisors, natural[2]);
    for (int component = 0; component < 3; ++component)
        out.nonzero[component] = zigzag(natural[component], out, component);
}
