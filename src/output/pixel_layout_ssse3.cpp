// dropAlpha with SSSE3 byte shuffles: sixteen pixels (four registers) to 48
// bytes (three registers). Compiled with -mssse3; chosen at run time.
#include <tmmintrin.h>

#include "output/pixel_layout.h"

std::size_t dropAlphaSsse3(const std::uint8_t* in, std::uint8_t* out, std::size_t pixelCount, bool swapRedAndBlue) {
    // Each register of four pixels packs into its low twelve bytes.
    const __m128i pack = swapRedAndBlue ? _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)
                                        : _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    std::size_t i = 0;
    for (; i + 16 <= pixelCount; i += 16, in += 64, out += 48) {
        const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), pack);
        const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)), pack);
        const __m128i c = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32)), pack);
        const __m128i d = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 48)), pack);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(a, _mm_slli_si128(b, 12)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                         _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32),
                         _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
    }
    return i;
}
