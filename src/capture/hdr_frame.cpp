// convertHdrFrame: clips the output's rectangle to the target, turns the
// rotation into texel steps, and hands the walk to the fastest pixel loop.
#include <algorithm>

#include "capture/hdr_frame_kernels.h"

namespace {

// Gain is 1 up to the shoulder and below 1 beyond it; the scan stops at the first code that differs.
std::uint32_t unitGainLimitOf(const HdrToneTable& table) {
    std::uint32_t code = 0;
    while (code < hdrToneCodeCount && table.gain[code] == 1.0f)
        ++code;
    return code == 0 ? 0 : code - 1;
}

} // namespace

HdrWalk planHdrWalk(const HdrToneTable& table, const HdrFrame& frame, const HdrTarget& target) {
    HdrWalk walk{};
    // 64-bit sums: desktop coordinates and sizes may each take the whole 32-bit range.
    const std::int64_t outW = std::int64_t{frame.right} - frame.left;
    const std::int64_t outH = std::int64_t{frame.bottom} - frame.top;
    const std::int64_t c0 = std::max<std::int64_t>(0, std::int64_t{target.originX} - frame.left);
    const std::int64_t c1 = std::min<std::int64_t>(std::int64_t{target.originX} + target.width - frame.left, outW);
    const std::int64_t r0 = std::max<std::int64_t>(0, std::int64_t{target.originY} - frame.top);
    const std::int64_t r1 = std::min<std::int64_t>(std::int64_t{target.originY} + target.height - frame.top, outH);
    if (c0 >= c1 || r0 >= r1)
        return walk;

    const auto pitch = static_cast<std::ptrdiff_t>(frame.rowPitch);
    const std::uint8_t* origin = frame.texels; // the texel of output pixel (0, 0)
    switch (frame.rotation) {
    case hdrRotate90: // texel (r, outW - 1 - c)
        origin += (outW - 1) * pitch;
        walk.columnStep = -pitch;
        walk.rowStep = 8;
        break;
    case hdrRotate180: // texel (outW - 1 - c, outH - 1 - r)
        origin += (outH - 1) * pitch + (outW - 1) * 8;
        walk.columnStep = -8;
        walk.rowStep = -pitch;
        break;
    case hdrRotate270: // texel (outH - 1 - r, c)
        origin += (outH - 1) * 8;
        walk.columnStep = pitch;
        walk.rowStep = -8;
        break;
    default: // texel (c, r)
        walk.columnStep = 8;
        walk.rowStep = pitch;
        break;
    }
    walk.texel = origin + c0 * walk.columnStep + r0 * walk.rowStep;
    // Output row r is desktop line top + r, stored bottom-up.
    const std::int64_t stride = std::int64_t{target.width} * 4;
    const std::int64_t firstRow = (std::int64_t{target.height} - 1) - (frame.top + r0 - target.originY);
    walk.pixel = target.pixels + firstRow * stride + (frame.left + c0 - target.originX) * 4;
    walk.pixelRowStep = -stride;
    walk.columns = static_cast<std::uint32_t>(c1 - c0);
    walk.rows = static_cast<std::uint32_t>(r1 - r0);
    walk.unitGainLimit = unitGainLimitOf(table);
    return walk;
}

void convertHdrWalkPortable(const HdrToneTable& table, const HdrWalk& walk) {
    for (std::uint32_t r = 0; r < walk.rows; ++r)
        convertHdrPixels(table, walk, r, 0, walk.columns);
}

ConvertHdrWalk selectConvertHdrWalk() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("f16c"))
        return convertHdrWalkAvx2;
#endif
    return convertHdrWalkPortable;
}

void convertHdrFrame(const HdrToneTable& table, const HdrFrame& frame, const HdrTarget& target) {
    if (!frame.texels || !target.pixels)
        return;
    const HdrWalk walk = planHdrWalk(table, frame, target);
    if (walk.rows == 0)
        return;
    static const ConvertHdrWalk convert = selectConvertHdrWalk();
    convert(table, walk);
}
