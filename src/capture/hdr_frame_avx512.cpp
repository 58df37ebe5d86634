// AVX-512 (F + BW) pixel loop of convertHdrFrame, 32 texels at a time, with
// no table read per pixel on the common path (and sixteen equal texels, a
// flat area of the desktop, converted once):
// - linear[code] is the code's half-float value times linear[0x3C00] (that is
//   how the table is built: 1.0 times the scale); F16C gives the value
//   exactly, and the whole table is checked against it before each frame;
// - gain[code] is 1 up to the shoulder and gathered only beyond it;
// - the byte table is searched in registers (SrgbThresholds).
// The float steps are convertHdrPixel's, one operation each (compiled with
// -mno-fma), so every byte is the same. Compiled with -mavx512f -mavx512bw.
#include <immintrin.h>

#include "capture/hdr_frame_kernels.h"

namespace {

// Word indices that pick one channel of sixteen texels (two registers of
// eight) into sixteen lanes: lane j takes texel order(j).
struct ChannelPicks {
    __m512i redGreen; // red in words 0..15, green in words 16..31
    __m512i blue;     // blue in words 0..15
};

template <typename Order> ChannelPicks makePicks(Order order) {
    alignas(64) std::int16_t redGreen[32], blue[32];
    for (int j = 0; j < 16; ++j) {
        redGreen[j] = static_cast<std::int16_t>(order(j) * 4);
        redGreen[16 + j] = static_cast<std::int16_t>(order(j) * 4 + 1);
        blue[j] = blue[16 + j] = static_cast<std::int16_t>(order(j) * 4 + 2);
    }
    return {_mm512_load_si512(redGreen), _mm512_load_si512(blue)};
}

// The binary search over the rising points of the byte table, level by level:
// at step s (128, 64, ..., 1) the byte found so far is a multiple of 2s, and
// the candidate byte + s is taken when its first index is <= the index.
struct SearchLevels {
    __m512i top;      // first[128] in every word
    __m512i small[5]; // s = 64 .. 4: first[s + 2s j] in word j (at most 32 of them)
    __m512i two[2];   // s = 2: 64 words
    __m512i one[4];   // s = 1: 128 words
};

SearchLevels makeLevels(const SrgbThresholds& thresholds) {
    SearchLevels levels;
    levels.top = _mm512_set1_epi16(static_cast<short>(thresholds.first[128]));
    alignas(64) std::uint16_t words[128];
    for (int level = 0; level < 5; ++level) {
        const int s = 64 >> level;
        for (int j = 0; j < 32; ++j)
            words[j] = thresholds.first[(s + 2 * s * j) & 255]; // beyond 256 / 2s: never picked
        levels.small[level] = _mm512_load_si512(words);
    }
    for (int j = 0; j < 64; ++j)
        words[j] = thresholds.first[2 + 4 * j];
    levels.two[0] = _mm512_load_si512(words);
    levels.two[1] = _mm512_load_si512(words + 32);
    for (int j = 0; j < 128; ++j)
        words[j] = thresholds.first[1 + 2 * j];
    for (int k = 0; k < 4; ++k)
        levels.one[k] = _mm512_load_si512(words + 32 * k);
    return levels;
}

// Steps s = 64 >> level for levels 0 to 4, from one register of first indices.
template <int level> inline __m512i searchStep(const SearchLevels& levels, __m512i index, __m512i byte) {
    const __m512i slot = _mm512_srli_epi16(byte, 7 - level); // byte / 2s
    const __m512i first = _mm512_permutexvar_epi16(slot, levels.small[level]);
    return _mm512_mask_add_epi16(byte, _mm512_cmple_epu16_mask(first, index), byte, _mm512_set1_epi16(64 >> level));
}

// The bytes of 32 table indices (words).
inline __m512i searchBytes(const SearchLevels& levels, __m512i index) {
    __m512i byte = _mm512_maskz_mov_epi16(_mm512_cmple_epu16_mask(levels.top, index), _mm512_set1_epi16(128));
    byte = searchStep<0>(levels, index, byte);
    byte = searchStep<1>(levels, index, byte);
    byte = searchStep<2>(levels, index, byte);
    byte = searchStep<3>(levels, index, byte);
    byte = searchStep<4>(levels, index, byte);
    {
        const __m512i slot = _mm512_srli_epi16(byte, 2);
        const __m512i first = _mm512_permutex2var_epi16(levels.two[0], slot, levels.two[1]);
        byte = _mm512_mask_add_epi16(byte, _mm512_cmple_epu16_mask(first, index), byte, _mm512_set1_epi16(2));
    }
    {
        const __m512i slot = _mm512_srli_epi16(byte, 1);
        const __m512i low = _mm512_permutex2var_epi16(levels.one[0], slot, levels.one[1]);
        const __m512i high = _mm512_permutex2var_epi16(levels.one[2], slot, levels.one[3]);
        const __m512i first = _mm512_mask_mov_epi16(low, _mm512_test_epi16_mask(slot, _mm512_set1_epi16(64)), high);
        byte = _mm512_mask_add_epi16(byte, _mm512_cmple_epu16_mask(first, index), byte, _mm512_set1_epi16(1));
    }
    return byte;
}

struct Constants {
    __m512 scale;              // linear[0x3C00]
    __m512i unitGainLimit;     // in every dword
    const HdrToneTable* table; // for the gain beyond the shoulder
    SearchLevels levels;
    // The last texel met as a flat group of sixteen, and its pixel.
    std::uint64_t flatTexel;
    std::uint32_t flatPixel;
};

// Byte-table indices of one channel of sixteen pixels, convertHdrPixel's
// third step; `high` and `low` mark v >= 1 and v <= 0, whose index is not used.
inline __m512i indexOf(__m256i codes, __m512 scale, __m512 gain, __mmask16& high, __mmask16& low) {
    const __m512 v = _mm512_mul_ps(gain, _mm512_mul_ps(_mm512_cvtph_ps(codes), scale));
    high = _mm512_cmp_ps_mask(v, _mm512_set1_ps(1.0f), _CMP_GE_OQ);
    low = _mm512_cmp_ps_mask(v, _mm512_setzero_ps(), _CMP_LE_OQ);
    const __m512i index =
        _mm512_cvttps_epi32(_mm512_add_ps(_mm512_mul_ps(v, _mm512_set1_ps(65535.0f)), _mm512_set1_ps(0.5f)));
    return _mm512_maskz_mov_epi32(static_cast<__mmask16>(~(high | low)), index);
}

// One channel of 32 pixels (words) to bytes (in words).
inline __m512i encodeChannel(const Constants& k, __m512i codes, __m512 gainLow, __m512 gainHigh) {
    __mmask16 high0, low0, high1, low1;
    const __m512i index0 = indexOf(_mm512_castsi512_si256(codes), k.scale, gainLow, high0, low0);
    const __m512i index1 = indexOf(_mm512_extracti64x4_epi64(codes, 1), k.scale, gainHigh, high1, low1);
    // packus works per 128-bit lane; the qword permute puts the words back in order.
    const __m512i index =
        _mm512_permutexvar_epi64(_mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7), _mm512_packus_epi32(index0, index1));
    const __m512i byte = searchBytes(k.levels, index);
    const __mmask32 high = _mm512_kunpackw(high1, high0), low = _mm512_kunpackw(low1, low0);
    return _mm512_mask_mov_epi16(_mm512_maskz_mov_epi16(~low, byte), high, _mm512_set1_epi16(255));
}

inline __m512 gainOf(const Constants& k, __m256i brightest) {
    const __m512i code = _mm512_cvtepu16_epi32(brightest);
    const __mmask16 shoulder = _mm512_cmpgt_epu32_mask(code, k.unitGainLimit);
    const __m512 one = _mm512_set1_ps(1.0f);
    return shoulder == 0 ? one : _mm512_mask_i32gather_ps(one, shoulder, code, k.table->gain, 4);
}

// The pixel of the first texel of `texels`, remembered for the next flat area.
inline std::uint32_t flatPixel(Constants& k, __m512i texels) {
    const auto texel = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm512_castsi512_si128(texels)));
    if (texel != k.flatTexel) {
        std::uint8_t bgra[4];
        convertHdrPixel(*k.table, static_cast<std::uint16_t>(texel), static_cast<std::uint16_t>(texel >> 16),
                        static_cast<std::uint16_t>(texel >> 32), bgra);
        std::memcpy(&k.flatPixel, bgra, 4);
        k.flatTexel = texel;
    }
    return k.flatPixel;
}

// 32 texels, eight from each pointer (lanes 0..15 from the first two by
// `picks`, 16..31 from the last two), to 32 BGRA pixels in `out`.
[[gnu::always_inline]] inline void convert32(Constants& k, const ChannelPicks& picks,
                                             const std::uint8_t* const (&texels)[4], __m512i (&out)[2]) {
    const __m512i a = _mm512_loadu_si512(texels[0]), b = _mm512_loadu_si512(texels[1]);
    const __m512i c = _mm512_loadu_si512(texels[2]), d = _mm512_loadu_si512(texels[3]);
    // Desktops are mostly flat: sixteen equal texels are converted once.
    const __m512i firstTexel = _mm512_broadcastq_epi64(_mm512_castsi512_si128(a));
    const __m512i thirdTexel = _mm512_broadcastq_epi64(_mm512_castsi512_si128(c));
    const bool firstFlat = (_mm512_cmpeq_epi64_mask(a, firstTexel) & _mm512_cmpeq_epi64_mask(b, firstTexel)) == 0xFF;
    const bool secondFlat = (_mm512_cmpeq_epi64_mask(c, thirdTexel) & _mm512_cmpeq_epi64_mask(d, thirdTexel)) == 0xFF;
    if (firstFlat && secondFlat) {
        out[0] = _mm512_set1_epi32(static_cast<int>(flatPixel(k, a)));
        out[1] = _mm512_set1_epi32(static_cast<int>(flatPixel(k, c)));
        return;
    }
    const __m512i redGreenAb = _mm512_permutex2var_epi16(a, picks.redGreen, b);
    const __m512i redGreenCd = _mm512_permutex2var_epi16(c, picks.redGreen, d);
    const __m512i blueAb = _mm512_permutex2var_epi16(a, picks.blue, b);
    const __m512i blueCd = _mm512_permutex2var_epi16(c, picks.blue, d);
    __m512i red = _mm512_shuffle_i64x2(redGreenAb, redGreenCd, 0x44);
    __m512i green = _mm512_shuffle_i64x2(redGreenAb, redGreenCd, 0xEE);
    __m512i blue = _mm512_shuffle_i64x2(blueAb, blueCd, 0x44);

    const __m512i invalid = _mm512_set1_epi16(0x7C00), zero = _mm512_setzero_si512();
    red = _mm512_mask_mov_epi16(red, _mm512_cmpgt_epu16_mask(red, invalid), zero);
    green = _mm512_mask_mov_epi16(green, _mm512_cmpgt_epu16_mask(green, invalid), zero);
    blue = _mm512_mask_mov_epi16(blue, _mm512_cmpgt_epu16_mask(blue, invalid), zero);
    const __m512i brightest = _mm512_max_epu16(_mm512_max_epu16(red, green), blue);
    const __m512 gainLow = gainOf(k, _mm512_castsi512_si256(brightest));
    const __m512 gainHigh = gainOf(k, _mm512_extracti64x4_epi64(brightest, 1));

    // Infinity reads as the largest finite half, as in the table.
    const __m512i finite = _mm512_set1_epi16(0x7BFF);
    const __m512i blueBytes = encodeChannel(k, _mm512_min_epu16(blue, finite), gainLow, gainHigh);
    const __m512i greenBytes = encodeChannel(k, _mm512_min_epu16(green, finite), gainLow, gainHigh);
    const __m512i redBytes = encodeChannel(k, _mm512_min_epu16(red, finite), gainLow, gainHigh);
    const __m512i blueGreen = _mm512_or_si512(blueBytes, _mm512_slli_epi16(greenBytes, 8));
    const __m512i redAlpha = _mm512_or_si512(redBytes, _mm512_set1_epi16(static_cast<short>(0xFF00)));
    // unpack works per 128-bit lane: four pixels of each quarter in each result.
    const __m512i low = _mm512_unpacklo_epi16(blueGreen, redAlpha);
    const __m512i high = _mm512_unpackhi_epi16(blueGreen, redAlpha);
    out[0] = _mm512_permutex2var_epi64(low, _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11), high);
    out[1] = _mm512_permutex2var_epi64(low, _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15), high);
}

// Rows that read adjacent texels, forwards (identity) or backwards (180 degrees).
void convertRows(Constants& k, const HdrWalk& walk) {
    const bool backwards = walk.columnStep < 0;
    const ChannelPicks picks = backwards ? makePicks([](int j) { return 15 - j; }) : makePicks([](int j) { return j; });
    const std::uint32_t whole = walk.columns & ~31u;
    for (std::uint32_t r = 0; r < walk.rows; ++r) {
        const std::uint8_t* texel = walk.texel + std::ptrdiff_t(r) * walk.rowStep;
        std::uint8_t* pixel = walk.pixel + std::ptrdiff_t(r) * walk.pixelRowStep;
        for (std::uint32_t c = 0; c < whole; c += 32) {
            __m512i out[2];
            if (backwards) { // the 32 texels end at column c's; the upper sixteen are columns c..c+15
                const std::uint8_t* lowest = texel - std::ptrdiff_t(c + 31) * 8;
                convert32(k, picks, {lowest + 128, lowest + 192, lowest, lowest + 64}, out);
            } else {
                const std::uint8_t* first = texel + std::ptrdiff_t(c) * 8;
                convert32(k, picks, {first, first + 64, first + 128, first + 192}, out);
            }
            _mm512_storeu_si512(pixel + c * 4, out[0]);
            _mm512_storeu_si512(pixel + c * 4 + 64, out[1]);
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
// (downwards or upwards in memory). The output goes in strips of 16 columns,
// top to bottom, so that each of a strip's 16 texture rows is read front to
// back (and fetched ahead, 512 bytes on); tiles of 8 rows x 16 columns are
// converted four columns at a time and transposed, so that each row of a
// tile is written as one 64-byte piece.
void convertColumns(Constants& k, const HdrWalk& walk) {
    const bool upwards = walk.rowStep < 0;
    const ChannelPicks picks =
        upwards ? makePicks([](int j) { return (j & 8) + 7 - (j & 7); }) : makePicks([](int j) { return j; });
    // Upwards, a column's eight texels end at its first one.
    const std::ptrdiff_t lowest = upwards ? -56 : 0;
    const std::ptrdiff_t ahead = 64 * walk.rowStep;
    const std::uint32_t wholeRows = walk.rows & ~7u, wholeColumns = walk.columns & ~15u;
    for (std::uint32_t c = 0; c < wholeColumns; c += 16) {
        for (std::uint32_t r = 0; r < wholeRows; r += 8) {
            const std::uint8_t* texel =
                walk.texel + std::ptrdiff_t(r) * walk.rowStep + std::ptrdiff_t(c) * walk.columnStep + lowest;
            std::uint8_t* pixel = walk.pixel + std::ptrdiff_t(r) * walk.pixelRowStep + c * 4;
            if (r + 64 < walk.rows)
                for (unsigned j = 0; j < 16; ++j)
                    _mm_prefetch(reinterpret_cast<const char*>(texel + std::ptrdiff_t(j) * walk.columnStep + ahead),
                                 _MM_HINT_T0);
            __m256 columns[2][8];
            for (unsigned j = 0; j < 16; j += 4) {
                const std::uint8_t* first = texel + std::ptrdiff_t(j) * walk.columnStep;
                __m512i out[2];
                convert32(k, picks,
                          {first, first + walk.columnStep, first + 2 * walk.columnStep, first + 3 * walk.columnStep},
                          out);
                for (unsigned half = 0; half < 2; ++half) {
                    const unsigned column = j + 2 * half;
                    columns[column / 8][column % 8] = _mm256_castsi256_ps(_mm512_castsi512_si256(out[half]));
                    columns[column / 8][column % 8 + 1] = _mm256_castsi256_ps(_mm512_extracti64x4_epi64(out[half], 1));
                }
            }
            transpose8(columns[0]);
            transpose8(columns[1]);
            for (int row = 0; row < 8; ++row) {
                auto* at = reinterpret_cast<float*>(pixel + std::ptrdiff_t(row) * walk.pixelRowStep);
                _mm256_storeu_ps(at, columns[0][row]);
                _mm256_storeu_ps(at + 8, columns[1][row]);
            }
        }
    }
    for (std::uint32_t r = 0; r < wholeRows; ++r)
        convertHdrPixels(*k.table, walk, r, wholeColumns, walk.columns);
    for (std::uint32_t r = wholeRows; r < walk.rows; ++r)
        convertHdrPixels(*k.table, walk, r, 0, walk.columns);
}

// The table is what F16C and one multiply give, code by code (see above).
bool linearIsScaledHalf(const HdrToneTable& table) {
    const __m512 scale = _mm512_set1_ps(table.linear[0x3C00]);
    const __m512i step = _mm512_set1_epi32(16);
    __m512i code = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    for (std::uint32_t first = 0; first + 16 <= hdrToneCodeCount; first += 16, code = _mm512_add_epi32(code, step)) {
        const __m512 value = _mm512_mul_ps(_mm512_cvtph_ps(_mm512_cvtepi32_epi16(code)), scale);
        if (_mm512_cmpneq_ps_mask(value, _mm512_loadu_ps(table.linear + first)) != 0)
            return false;
    }
    // The last code, infinity, reads as the largest finite half.
    return table.linear[halfInfinityCode] == table.linear[0x7BFF];
}

} // namespace

void convertHdrWalkAvx512(const HdrToneTable& table, const HdrWalk& walk) {
    const SrgbThresholds& thresholds = srgbThresholds();
    const bool adjacent = walk.columnStep == 8 || walk.columnStep == -8 || walk.rowStep == 8 || walk.rowStep == -8;
    if (!adjacent || thresholds.source != table.srgbTable || !linearIsScaledHalf(table))
        return convertHdrWalkPortable(table, walk);
    Constants k;
    k.scale = _mm512_set1_ps(table.linear[0x3C00]);
    k.unitGainLimit = _mm512_set1_epi32(static_cast<int>(walk.unitGainLimit));
    k.table = &table;
    k.levels = makeLevels(thresholds);
    k.flatTexel = 0;
    convertHdrPixel(table, 0, 0, 0, reinterpret_cast<std::uint8_t*>(&k.flatPixel));
    if (walk.columnStep == 8 || walk.columnStep == -8)
        convertRows(k, walk);
    else
        convertColumns(k, walk);
}
