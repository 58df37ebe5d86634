// AVX2 + F16C pixel loop of convertHdrFrame, eight texels at a time:
// - linear[code] is the code's half-float value times linear[0x3C00] (that is
//   how the table is built: 1.0 times the scale); F16C gives the value
//   exactly, and the whole table is checked against it before each frame;
// - gain[code] is 1 up to the shoulder and gathered only beyond it;
// - the byte table is read lane by lane (on Zen 4 as fast as gathers, or as
//   an AVX-512 search of the table in registers, which was tried);
// - eight equal texels (a flat area of the desktop) are converted once.
// The float steps are convertHdrPixel's, one operation each (compiled with
// -mavx2 -mf16c -mno-fma), so every byte is the same.
#include <immintrin.h>

#include "capture/hdr_frame_kernels.h"

namespace {

struct Constants {
    __m256 scale;          // linear[0x3C00]
    __m256i unitGainLimit; // in every dword
    const HdrToneTable* table;
    // The last texel met as a whole group of eight (a flat area) and its pixel.
    std::uint64_t flatTexel;
    std::uint32_t flatPixel;
};

// Byte-table indices of one channel of eight pixels, convertHdrPixel's third
// step; 65535 where v >= 1 and 0 where v <= 0, whose bytes are then fixed.
inline __m256i indexOf(__m256i codes, __m256 scale, __m256 gain, __m256& high, __m256& low) {
    // The codes fit in 16 bits: packed to words for the conversion.
    const __m128i words = _mm_packus_epi32(_mm256_castsi256_si128(codes), _mm256_extracti128_si256(codes, 1));
    const __m256 v = _mm256_mul_ps(gain, _mm256_mul_ps(_mm256_cvtph_ps(words), scale));
    high = _mm256_cmp_ps(v, _mm256_set1_ps(1.0f), _CMP_GE_OQ);
    low = _mm256_cmp_ps(v, _mm256_setzero_ps(), _CMP_LE_OQ);
    const __m256i index =
        _mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(v, _mm256_set1_ps(65535.0f)), _mm256_set1_ps(0.5f)));
    return _mm256_andnot_si256(_mm256_castps_si256(_mm256_or_ps(high, low)), index);
}

// Eight texels in memory order to eight BGRA pixels.
[[gnu::always_inline]] inline __m256i convert8(Constants& k, const std::uint8_t* texels) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(texels));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(texels + 32));
    // Desktops are mostly flat: eight equal texels are converted once.
    const __m256i firstTexel = _mm256_permute4x64_epi64(a, 0);
    if (_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi64(a, firstTexel), _mm256_cmpeq_epi64(b, firstTexel))) ==
        -1) {
        const auto texel = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm256_castsi256_si128(a)));
        if (texel != k.flatTexel) {
            std::uint8_t bgra[4];
            convertHdrPixel(*k.table, static_cast<std::uint16_t>(texel), static_cast<std::uint16_t>(texel >> 16),
                            static_cast<std::uint16_t>(texel >> 32), bgra);
            std::memcpy(&k.flatPixel, bgra, 4);
            k.flatTexel = texel;
        }
        return _mm256_set1_epi32(static_cast<int>(k.flatPixel));
    }
    // Each texel is two dwords: red | green << 16, then blue | alpha << 16.
    const __m256 af = _mm256_castsi256_ps(a), bf = _mm256_castsi256_ps(b);
    const __m256i redGreen = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(af, bf, 0x88)), 0xD8);
    const __m256i blueAlpha = _mm256_permute4x64_epi64(_mm256_castps_si256(_mm256_shuffle_ps(af, bf, 0xDD)), 0xD8);
    const __m256i low16 = _mm256_set1_epi32(0xFFFF), invalid = _mm256_set1_epi32(0x7C00);
    __m256i red = _mm256_and_si256(redGreen, low16);
    __m256i green = _mm256_srli_epi32(redGreen, 16);
    __m256i blue = _mm256_and_si256(blueAlpha, low16);
    red = _mm256_andnot_si256(_mm256_cmpgt_epi32(red, invalid), red);
    green = _mm256_andnot_si256(_mm256_cmpgt_epi32(green, invalid), green);
    blue = _mm256_andnot_si256(_mm256_cmpgt_epi32(blue, invalid), blue);
    const __m256i brightest = _mm256_max_epi32(_mm256_max_epi32(red, green), blue);

    const __m256i shoulder = _mm256_cmpgt_epi32(brightest, k.unitGainLimit);
    __m256 gain = _mm256_set1_ps(1.0f);
    if (!_mm256_testz_si256(shoulder, shoulder))
        gain = _mm256_mask_i32gather_ps(gain, k.table->gain, brightest, _mm256_castsi256_ps(shoulder), 4);

    // Infinity reads as the largest finite half, as in the table.
    const __m256i finite = _mm256_set1_epi32(0x7BFF);
    __m256 high[3], low[3];
    alignas(32) std::uint32_t index[3][8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(index[0]),
                       indexOf(_mm256_min_epi32(blue, finite), k.scale, gain, high[0], low[0]));
    _mm256_store_si256(reinterpret_cast<__m256i*>(index[1]),
                       indexOf(_mm256_min_epi32(green, finite), k.scale, gain, high[1], low[1]));
    _mm256_store_si256(reinterpret_cast<__m256i*>(index[2]),
                       indexOf(_mm256_min_epi32(red, finite), k.scale, gain, high[2], low[2]));
    const std::uint8_t* bytes = k.table->srgbTable->entries;
    alignas(32) std::uint32_t pixels[8];
    for (int j = 0; j < 8; ++j)
        pixels[j] =
            bytes[index[0][j]] | std::uint32_t{bytes[index[1][j]]} << 8 | std::uint32_t{bytes[index[2][j]]} << 16;
    __m256i out = _mm256_load_si256(reinterpret_cast<const __m256i*>(pixels));
    // v >= 1 gives 255 and v <= 0 gives 0, whatever the table says.
    for (int channel = 0; channel < 3; ++channel) {
        const __m256i byteMask = _mm256_set1_epi32(0xFF << (8 * channel));
        out = _mm256_andnot_si256(_mm256_and_si256(_mm256_castps_si256(low[channel]), byteMask), out);
        out = _mm256_or_si256(out, _mm256_and_si256(_mm256_castps_si256(high[channel]), byteMask));
    }
    return _mm256_or_si256(out, _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
}

inline __m256i reversed(__m256i v) { return _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(7, 6, 5, 4, 3, 2, 1, 0)); }

// Rows that read adjacent texels, forwards (identity) or backwards (180 degrees).
void convertRows(Constants& k, const HdrWalk& walk) {
    const bool backwards = walk.columnStep < 0;
    const std::uint32_t whole = walk.columns & ~7u;
    for (std::uint32_t r = 0; r < walk.rows; ++r) {
        const std::uint8_t* texel = walk.texel + std::ptrdiff_t(r) * walk.rowStep;
        std::uint8_t* pixel = walk.pixel + std::ptrdiff_t(r) * walk.pixelRowStep;
        for (std::uint32_t c = 0; c < whole; c += 8) {
            // Backwards, the eight texels end at column c's.
            const __m256i out = backwards ? reversed(convert8(k, texel - std::ptrdiff_t(c + 7) * 8))
                                          : convert8(k, texel + std::ptrdiff_t(c) * 8);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixel + c * 4), out);
        }
        convertHdrPixels(*k.table, walk, r, whole, walk.columns);
    }
}

inline void transpose8(__m256 (&v)[8]) {
    const __m256 a0 = _mm256_unpacklo_ps(v[0], v[1]), a1 = _mm256_unpackhi_ps(v[0], v[1]);
    const __m256 a2 = _mm256_unpacklo_ps(v[2], v[3]), a3 = _mm256_unpackhi_ps(v[2], v[3]);
    const __m256 a4 = _mm256_unpacklo_ps(v[4], v[5]), a5 = _mm256_unpackhi_ps(v[4], v[5]);
    const __m256 a6 = _mm256_unpacklo_ps(v[6], v[7]), a7 = _mm256_unpackhi_ps(v[6], v[7]);
    const __m256 b0 = _mm256_shuffle_ps(a0, a2, 0x44), b1 = _mm256_shuffle_ps(a0, a2, 0xEE);
    const __m256 b2 = _mm256_shuffle_ps(a1, a3, 0x44), b3 = _mm256_shuffle_ps(a1, a3, 0xEE);
    const __m256 b4 = _mm256_shuffle_ps(a4, a6, 0x44), b5 = _mm256_shuffle_ps(a4, a6, 0xEE);
    const __m256 b6 = _mm256_shuffle_ps(a5, a7, 0x44), b7 = _mm256_shuffle_ps(a5, a7, 0xEE);
    v[0] = _mm256_permute2f128_ps(b0, b4, 0x20);
    v[1] = _mm256_permute2f128_ps(b1, b5, 0x20);
    v[2] = _mm256_permute2f128_ps(b2, b6, 0x20);
    v[3] = _mm256_permute2f128_ps(b3, b7, 0x20);
    v[4] = _mm256_permute2f128_ps(b0, b4, 0x31);
    v[5] = _mm256_permute2f128_ps(b1, b5, 0x31);
    v[6] = _mm256_permute2f128_ps(b2, b6, 0x31);
    v[7] = _mm256_permute2f128_ps(b3, b7, 0x31);
}

// Rotated by 90 or 270 degrees: a column of eight rows reads adjacent texels
// (downwards or upwards in memory). The output goes in strips of 8 columns,
// top to bottom, so that each of a strip's texture rows is read front to back
// (and fetched ahead); 8 x 8 tiles are converted column by column and
// transposed, so that each row of a tile is written in one piece.
void convertColumns(Constants& k, const HdrWalk& walk) {
    const bool upwards = walk.rowStep < 0;
    // Upwards, a column's eight texels end at its first one.
    const std::ptrdiff_t lowest = upwards ? -56 : 0;
    const std::ptrdiff_t ahead = 64 * walk.rowStep;
    const std::uint32_t wholeRows = walk.rows & ~7u, wholeColumns = walk.columns & ~7u;
    for (std::uint32_t c = 0; c < wholeColumns; c += 8) {
        for (std::uint32_t r = 0; r < wholeRows; r += 8) {
            const std::uint8_t* texel =
                walk.texel + std::ptrdiff_t(r) * walk.rowStep + std::ptrdiff_t(c) * walk.columnStep + lowest;
            std::uint8_t* pixel = walk.pixel + std::ptrdiff_t(r) * walk.pixelRowStep + c * 4;
            if (r + 64 < walk.rows)
                for (unsigned j = 0; j < 8; ++j)
                    _mm_prefetch(reinterpret_cast<const char*>(texel + std::ptrdiff_t(j) * walk.columnStep + ahead),
                                 _MM_HINT_T0);
            __m256 columns[8];
            for (unsigned j = 0; j < 8; ++j) {
                const __m256i column = convert8(k, texel + std::ptrdiff_t(j) * walk.columnStep);
                columns[j] = _mm256_castsi256_ps(upwards ? reversed(column) : column);
            }
            transpose8(columns);
            for (int row = 0; row < 8; ++row)
                _mm256_storeu_ps(reinterpret_cast<float*>(pixel + std::ptrdiff_t(row) * walk.pixelRowStep),
                                 columns[row]);
        }
    }
    for (std::uint32_t r = 0; r < wholeRows; ++r)
        convertHdrPixels(*k.table, walk, r, wholeColumns, walk.columns);
    for (std::uint32_t r = wholeRows; r < walk.rows; ++r)
        convertHdrPixels(*k.table, walk, r, 0, walk.columns);
}

// The table is what F16C and one multiply give, code by code.
bool linearIsScaledHalf(const HdrToneTable& table) {
    const __m256 scale = _mm256_set1_ps(table.linear[0x3C00]);
    const __m128i step = _mm_set1_epi16(8);
    __m128i code = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
    for (std::uint32_t first = 0; first + 8 <= hdrToneCodeCount; first += 8, code = _mm_add_epi16(code, step)) {
        const __m256 value = _mm256_mul_ps(_mm256_cvtph_ps(code), scale);
        const __m256 stored = _mm256_loadu_ps(table.linear + first);
        if (_mm256_movemask_ps(_mm256_cmp_ps(value, stored, _CMP_NEQ_UQ)) != 0)
            return false;
    }
    // The last code, infinity, reads as the largest finite half.
    return table.linear[halfInfinityCode] == table.linear[0x7BFF];
}

} // namespace

void convertHdrWalkAvx2(const HdrToneTable& table, const HdrWalk& walk) {
    const bool adjacent = walk.columnStep == 8 || walk.columnStep == -8 || walk.rowStep == 8 || walk.rowStep == -8;
    if (!adjacent || !linearIsScaledHalf(table))
        return convertHdrWalkPortable(table, walk);
    Constants k;
    k.scale = _mm256_set1_ps(table.linear[0x3C00]);
    k.unitGainLimit = _mm256_set1_epi32(static_cast<int>(walk.unitGainLimit));
    k.table = &table;
    k.flatTexel = 0;
    convertHdrPixel(table, 0, 0, 0, reinterpret_cast<std::uint8_t*>(&k.flatPixel));
    if (walk.columnStep == 8 || walk.columnStep == -8)
        convertRows(k, walk);
    else
        convertColumns(k, walk);
}
