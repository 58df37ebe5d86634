// AVX-512 (F + BW + CD) per-MCU transform. Y goes through the eight-lane AVX2
// path; Cb and Cr, which share their divisors, go through it side by side in
// the two halves of 16-lane vectors. Zig-zag order and the non-zero mask come
// from two word permutes and a test. Compiled with -mavx2 -mavx512f
// -mavx512bw -mavx512cd, never -mfma.
#include "output/jpeg_kernels_x86.inc"

namespace {

// Two 8 x 8 transposes at once, one per 256-bit half.
inline void transpose8x2(__m512 (&v)[8]) {
    const __m512 a0 = _mm512_unpacklo_ps(v[0], v[1]), a1 = _mm512_unpackhi_ps(v[0], v[1]);
    const __m512 a2 = _mm512_unpacklo_ps(v[2], v[3]), a3 = _mm512_unpackhi_ps(v[2], v[3]);
    const __m512 a4 = _mm512_unpacklo_ps(v[4], v[5]), a5 = _mm512_unpackhi_ps(v[4], v[5]);
    const __m512 a6 = _mm512_unpacklo_ps(v[6], v[7]), a7 = _mm512_unpackhi_ps(v[6], v[7]);
    const __m512 b0 = _mm512_shuffle_ps(a0, a2, 0x44), b1 = _mm512_shuffle_ps(a0, a2, 0xEE);
    const __m512 b2 = _mm512_shuffle_ps(a1, a3, 0x44), b3 = _mm512_shuffle_ps(a1, a3, 0xEE);
    const __m512 b4 = _mm512_shuffle_ps(a4, a6, 0x44), b5 = _mm512_shuffle_ps(a4, a6, 0xEE);
    const __m512 b6 = _mm512_shuffle_ps(a5, a7, 0x44), b7 = _mm512_shuffle_ps(a5, a7, 0xEE);
    // Per half: low 128 bits of the first source, then low (or high) 128 bits of the second.
    const __m512i low = _mm512_setr_epi32(0, 1, 2, 3, 16, 17, 18, 19, 8, 9, 10, 11, 24, 25, 26, 27);
    const __m512i high = _mm512_setr_epi32(4, 5, 6, 7, 20, 21, 22, 23, 12, 13, 14, 15, 28, 29, 30, 31);
    v[0] = _mm512_permutex2var_ps(b0, low, b4);
    v[1] = _mm512_permutex2var_ps(b1, low, b5);
    v[2] = _mm512_permutex2var_ps(b2, low, b6);
    v[3] = _mm512_permutex2var_ps(b3, low, b7);
    v[4] = _mm512_permutex2var_ps(b0, high, b4);
    v[5] = _mm512_permutex2var_ps(b1, high, b5);
    v[6] = _mm512_permutex2var_ps(b2, high, b6);
    v[7] = _mm512_permutex2var_ps(b3, high, b7);
}

inline void forwardDct8x2(__m512 (&d)[8]) {
    const __m512 t0 = _mm512_add_ps(d[0], d[7]), t7 = _mm512_sub_ps(d[0], d[7]);
    const __m512 t1 = _mm512_add_ps(d[1], d[6]), t6 = _mm512_sub_ps(d[1], d[6]);
    const __m512 t2 = _mm512_add_ps(d[2], d[5]), t5 = _mm512_sub_ps(d[2], d[5]);
    const __m512 t3 = _mm512_add_ps(d[3], d[4]), t4 = _mm512_sub_ps(d[3], d[4]);

    const __m512 t10 = _mm512_add_ps(t0, t3), t13 = _mm512_sub_ps(t0, t3);
    const __m512 t11 = _mm512_add_ps(t1, t2), t12 = _mm512_sub_ps(t1, t2);
    d[0] = _mm512_add_ps(t10, t11);
    d[4] = _mm512_sub_ps(t10, t11);
    const __m512 z1 = _mm512_mul_ps(_mm512_add_ps(t12, t13), _mm512_set1_ps(0.70710677f));
    d[2] = _mm512_add_ps(t13, z1);
    d[6] = _mm512_sub_ps(t13, z1);

    const __m512 p = _mm512_add_ps(t4, t5), q = _mm512_add_ps(t5, t6), r = _mm512_add_ps(t6, t7);
    const __m512 z5 = _mm512_mul_ps(_mm512_sub_ps(p, r), _mm512_set1_ps(0.38268343f));
    const __m512 z2 = _mm512_add_ps(_mm512_mul_ps(p, _mm512_set1_ps(0.5411961f)), z5);
    const __m512 z4 = _mm512_add_ps(_mm512_mul_ps(r, _mm512_set1_ps(1.306563f)), z5);
    const __m512 z3 = _mm512_mul_ps(q, _mm512_set1_ps(0.70710677f));
    const __m512 z11 = _mm512_add_ps(t7, z3), z13 = _mm512_sub_ps(t7, z3);
    d[5] = _mm512_add_ps(z13, z2);
    d[3] = _mm512_sub_ps(z13, z2);
    d[1] = _mm512_add_ps(z11, z4);
    d[7] = _mm512_sub_ps(z11, z4);
}

// Bit lengths of the magnitudes of 32 words, as bytes.
inline __m256i sizesOf(__m512i coefficients) {
    const __m512i magnitude = _mm512_abs_epi16(coefficients);
    const __m512i bitsInDword = _mm512_set1_epi32(32);
    const __m512i low = _mm512_cvtepu16_epi32(_mm512_castsi512_si256(magnitude));
    const __m512i high = _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(magnitude, 1));
    const __m128i lowSizes = _mm512_cvtepi32_epi8(_mm512_sub_epi32(bitsInDword, _mm512_lzcnt_epi32(low)));
    const __m128i highSizes = _mm512_cvtepi32_epi8(_mm512_sub_epi32(bitsInDword, _mm512_lzcnt_epi32(high)));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lowSizes), highSizes, 1);
}

// Zig-zag order of a block held as 64 words in two registers, its sizes,
// additional bits and non-zero mask.
inline std::uint64_t zigzag(__m512i first, __m512i second, JpegMcu& out, int component) {
    alignas(64) static constexpr std::int16_t firstHalf[32] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32,
                                                               25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                                                               41, 34, 27, 20, 13, 6,  7,  14, 21, 28};
    alignas(64) static constexpr std::int16_t secondHalf[32] = {35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15,
                                                                23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31,
                                                                39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    const __m512i z0 = _mm512_permutex2var_epi16(first, _mm512_load_si512(firstHalf), second);
    const __m512i z1 = _mm512_permutex2var_epi16(first, _mm512_load_si512(secondHalf), second);
    _mm512_store_si512(out.coefficients[component], z0);
    _mm512_store_si512(out.coefficients[component] + 32, z1);
    const std::uint64_t nonzero =
        std::uint64_t{_mm512_test_epi16_mask(z0, z0)} | std::uint64_t{_mm512_test_epi16_mask(z1, z1)} << 32;
    // A block without AC coefficients (most of a desktop) needs no codes.
    if ((nonzero & ~std::uint64_t{1}) != 0) {
        _mm512_store_si512(out.bits[component], _mm512_add_epi16(z0, _mm512_srai_epi16(z0, 15)));
        _mm512_store_si512(out.bits[component] + 32, _mm512_add_epi16(z1, _mm512_srai_epi16(z1, 15)));
        _mm512_store_si512(out.sizes[component],
                           _mm512_inserti64x4(_mm512_castsi256_si512(sizesOf(z0)), sizesOf(z1), 1));
    }
    return nonzero;
}

// Two 256-bit values side by side.
inline __m512i join(__m256i low, __m256i high) { return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1); }

// Eight RGB pixels as floats, each value in both halves.
inline void loadRgb8Twice(const std::uint8_t* p, __m512& r, __m512& g, __m512& b) {
    __m256 r8, g8, b8;
    loadRgb8(p, r8, g8, b8);
    const __m512i twice = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7);
    r = _mm512_permutexvar_ps(twice, _mm512_castps256_ps512(r8));
    g = _mm512_permutexvar_ps(twice, _mm512_castps256_ps512(g8));
    b = _mm512_permutexvar_ps(twice, _mm512_castps256_ps512(b8));
}

} // namespace

void transformMcuAvx512(const std::uint8_t* const rows[8], const float* luminanceDivisors,
                        const float* chrominanceDivisors, JpegMcu& out) {
    __m256 y[8];
    __m512 chroma[8]; // Cb in the low half, Cr in the high half
    const __m256 c587 = _mm256_set1_ps(0.587f), c299 = _mm256_set1_ps(0.299f), c114 = _mm256_set1_ps(0.114f);
    const __m256 c128 = _mm256_set1_ps(128.0f);
    // Cb = (-0.16874 R - 0.33126 G) + 0.5 B and Cr = (0.5 R - 0.41869 G) - 0.08131 B, the last
    // step of Cr written as adding -0.08131 B, which rounds identically.
    const __m512 kR = _mm512_setr_ps(-0.16874f, -0.16874f, -0.16874f, -0.16874f, -0.16874f, -0.16874f, -0.16874f,
                                     -0.16874f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f);
    const __m512 kG = _mm512_setr_ps(0.33126f, 0.33126f, 0.33126f, 0.33126f, 0.33126f, 0.33126f, 0.33126f, 0.33126f,
                                     0.41869f, 0.41869f, 0.41869f, 0.41869f, 0.41869f, 0.41869f, 0.41869f, 0.41869f);
    const __m512 kB = _mm512_setr_ps(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, -0.08131f, -0.08131f, -0.08131f,
                                     -0.08131f, -0.08131f, -0.08131f, -0.08131f, -0.08131f);
    for (int k = 0; k < 8; ++k) {
        __m512 r, g, b;
        loadRgb8Twice(rows[k], r, g, b);
        const __m256 r8 = _mm512_castps512_ps256(r), g8 = _mm512_castps512_ps256(g), b8 = _mm512_castps512_ps256(b);
        y[k] = _mm256_sub_ps(
            _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(c587, g8), _mm256_mul_ps(c299, r8)), _mm256_mul_ps(c114, b8)),
            c128);
        chroma[k] = _mm512_add_ps(_mm512_sub_ps(_mm512_mul_ps(kR, r), _mm512_mul_ps(kG, g)), _mm512_mul_ps(kB, b));
    }

    __m256i luminance[4];
    transformBlock(y, luminanceDivisors, luminance);
    out.nonzero[0] = zigzag(join(luminance[0], luminance[1]), join(luminance[2], luminance[3]), out, 0);

    transpose8x2(chroma);
    forwardDct8x2(chroma);
    transpose8x2(chroma);
    forwardDct8x2(chroma);
    const __m512 zero = _mm512_setzero_ps(), half = _mm512_set1_ps(0.5f), minusHalf = _mm512_set1_ps(-0.5f);
    const __m512i twice = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7);
    __m512i rounded[8];
    for (int k = 0; k < 8; ++k) {
        const __m512 divisors =
            _mm512_permutexvar_ps(twice, _mm512_castps256_ps512(_mm256_loadu_ps(chrominanceDivisors + k * 8)));
        const __m512 c = _mm512_mul_ps(chroma[k], divisors);
        const __m512 offset = _mm512_mask_blend_ps(_mm512_cmp_ps_mask(c, zero, _CMP_GE_OQ), minusHalf, half);
        rounded[k] = _mm512_cvttps_epi32(_mm512_add_ps(c, offset));
    }
    // Rows k and k + 1 of Cb in the low half, of Cr in the high half.
    __m512i pairs[4];
    for (int k = 0; k < 8; k += 2)
        pairs[k / 2] = _mm512_permutex_epi64(_mm512_packs_epi32(rounded[k], rounded[k + 1]), 0xD8);
    out.nonzero[1] =
        zigzag(_mm512_shuffle_i64x2(pairs[0], pairs[1], 0x44), _mm512_shuffle_i64x2(pairs[2], pairs[3], 0x44), out, 1);
    out.nonzero[2] =
        zigzag(_mm512_shuffle_i64x2(pairs[0], pairs[1], 0xEE), _mm512_shuffle_i64x2(pairs[2], pairs[3], 0xEE), out, 2);
}
