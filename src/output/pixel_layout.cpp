// Pixels are read as little-endian words (byte 0 lowest) through memcpy, so
// that alignment never matters.
#include "output/pixel_layout.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "the word shuffles take byte 0 as the lowest");

namespace {

inline std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void store32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

inline std::uint32_t swapped(std::uint32_t v) { return (v & 0xFF00FF00u) | (v >> 16 & 0xFFu) | (v & 0xFFu) << 16; }

} // namespace

void swapRedAndBlue(const std::uint8_t* in, std::uint8_t* out, std::size_t pixelCount) {
    for (std::size_t i = 0; i < pixelCount; ++i)
        store32(out + i * 4, swapped(load32(in + i * 4)));
}

void dropAlpha(const std::uint8_t* in, std::uint8_t* out, std::size_t pixelCount, bool swapRedAndBlue) {
    std::size_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
    static const bool ssse3 = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3") != 0);
    if (ssse3) {
        i = dropAlphaSsse3(in, out, pixelCount, swapRedAndBlue);
        in += i * 4;
        out += i * 3;
    }
#endif
    const std::uint32_t swapMask = swapRedAndBlue ? 0xFFFFFFFFu : 0;
    // Four pixels make three words.
    for (; i + 4 <= pixelCount; i += 4, in += 16, out += 12) {
        std::uint32_t p[4];
        for (int k = 0; k < 4; ++k) {
            const std::uint32_t v = load32(in + 4 * k);
            p[k] = (v & ~swapMask) | (swapped(v) & swapMask);
        }
        store32(out, (p[0] & 0xFFFFFFu) | p[1] << 24);
        store32(out + 4, (p[1] >> 8 & 0xFFFFu) | p[2] << 16);
        store32(out + 8, (p[2] >> 16 & 0xFFu) | p[3] << 8);
    }
    for (; i < pixelCount; ++i, in += 4, out += 3) {
        out[0] = in[swapRedAndBlue ? 2 : 0];
        out[1] = in[1];
        out[2] = in[swapRedAndBlue ? 0 : 2];
    }
}
