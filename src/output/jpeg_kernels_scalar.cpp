// Portable per-MCU transform; the other variants must match it bit for bit.
#include "output/jpeg_kernels.h"
#include "output/jpeg_tables.h"

namespace {

// One-dimensional AAN scaled DCT over d[0], d[step], ..., d[7 * step].
void forwardDct8(float* d, int step) {
    float* p0 = d;
    float* p1 = d + step;
    float* p2 = d + 2 * step;
    float* p3 = d + 3 * step;
    float* p4 = d + 4 * step;
    float* p5 = d + 5 * step;
    float* p6 = d + 6 * step;
    float* p7 = d + 7 * step;

    const float t0 = *p0 + *p7, t7 = *p0 - *p7;
    const float t1 = *p1 + *p6, t6 = *p1 - *p6;
    const float t2 = *p2 + *p5, t5 = *p2 - *p5;
    const float t3 = *p3 + *p4, t4 = *p3 - *p4;

    const float t10 = t0 + t3, t13 = t0 - t3;
    const float t11 = t1 + t2, t12 = t1 - t2;
    *p0 = t10 + t11;
    *p4 = t10 - t11;
    const float z1 = (t12 + t13) * 0.70710677f;
    *p2 = t13 + z1;
    *p6 = t13 - z1;

    const float p = t4 + t5, q = t5 + t6, r = t6 + t7;
    const float z5 = (p - r) * 0.38268343f;
    const float z2 = (p * 0.5411961f) + z5;
    const float z4 = (r * 1.306563f) + z5;
    const float z3 = q * 0.70710677f;
    const float z11 = t7 + z3, z13 = t7 - z3;
    *p5 = z13 + z2;
    *p3 = z13 - z2;
    *p1 = z11 + z4;
    *p7 = z11 - z4;
}

std::int16_t roundHalfAway(float value) {
    return static_cast<std::int16_t>(value >= 0.0f ? static_cast<int>(value + 0.5f) : static_cast<int>(value - 0.5f));
}

std::uint64_t finishBlock(float* block, const float* divisors, std::int16_t* zigzag, std::uint16_t* bits,
                          std::uint8_t* sizes) {
    for (int row = 0; row < 8; ++row)
        forwardDct8(block + row * 8, 1);
    for (int column = 0; column < 8; ++column)
        forwardDct8(block + column, 8);
    std::uint64_t nonzero = 0;
    for (int i = 0; i < 64; ++i) {
        const int n = jpeg::zigZag[i];
        zigzag[i] = roundHalfAway(block[n] * divisors[n]);
        nonzero |= std::uint64_t{zigzag[i] != 0} << i;
        const int value = zigzag[i];
        const int sign = value >> 31;
        bits[i] = static_cast<std::uint16_t>(value + sign);
        std::uint8_t size = 0;
        for (int magnitude = (value ^ sign) - sign; magnitude != 0; magnitude >>= 1)
            ++size;
        sizes[i] = size;
    }
    return nonzero;
}

} // namespace

void transformMcuScalar(const std::uint8_t* const rows[8], const float* luminanceDivisors,
                        const float* chrominanceDivisors, JpegMcu& out) {
    float y[64], cb[64], cr[64];
    for (int deltaY = 0; deltaY < 8; ++deltaY) {
        for (int deltaX = 0; deltaX < 8; ++deltaX) {
            const std::uint8_t* p = rows[deltaY] + deltaX * 3;
            const float r = p[0], g = p[1], b = p[2];
            const int at = deltaY * 8 + deltaX;
            y[at] = (((0.587f * g) + (0.299f * r)) + (0.114f * b)) - 128.0f;
            cb[at] = ((-0.16874f * r) - (0.33126f * g)) + (0.5f * b);
            cr[at] = ((0.5f * r) - (0.41869f * g)) - (0.08131f * b);
        }
    }
    out.nonzero[0] = finishBlock(y, luminanceDivisors, out.coefficients[0], out.bits[0], out.sizes[0]);
    out.nonzero[1] = finishBlock(cb, chrominanceDivisors, out.coefficients[1], out.bits[1], out.sizes[1]);
    out.nonzero[2] = finishBlock(cr, chrominanceDivisors, out.coefficients[2], out.bits[2], out.sizes[2]);
}

TransformMcu selectTransformMcu() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512cd"))
        return transformMcuAvx512;
    if (__builtin_cpu_supports("avx2"))
        return transformMcuAvx2;
#endif
    return transformMcuScalar;
}
