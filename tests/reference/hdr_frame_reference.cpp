// Written from the description of the capture's walk, without the fast
// code's planning: its own clipping, texel addressing and row order. Rows are
// walked one after the other; within a row the texel pointer moves by 8 bytes
// (identity), -rowPitch (90), -8 bytes (180) or +rowPitch (270) per pixel.
#include "hdr_frame_reference.h"

#include <algorithm>
#include <cstring>

void convertHdrFrameDirect(const HdrToneTable& table, const HdrFrame& frame, const HdrTarget& target) {
    const std::int64_t outW = std::int64_t{frame.right} - frame.left;
    const std::int64_t outH = std::int64_t{frame.bottom} - frame.top;
    const std::int64_t c0 = std::max<std::int64_t>(0, std::int64_t{target.originX} - frame.left);
    const std::int64_t c1 = std::min<std::int64_t>(std::int64_t{target.originX} + target.width - frame.left, outW);
    const std::int64_t r0 = std::max<std::int64_t>(0, std::int64_t{target.originY} - frame.top);
    const std::int64_t r1 = std::min<std::int64_t>(std::int64_t{target.originY} + target.height - frame.top, outH);
    const auto pitch = static_cast<std::int64_t>(frame.rowPitch);
    for (std::int64_t r = r0; r < r1; ++r) {
        // Texel (tx, ty) of pixel (c0, r), and the step to the next column.
        std::int64_t tx = c0, ty = r, step = 8;
        if (frame.rotation == hdrRotate90) {
            tx = r, ty = outW - 1 - c0, step = -pitch;
        } else if (frame.rotation == hdrRotate180) {
            tx = outW - 1 - c0, ty = outH - 1 - r, step = -8;
        } else if (frame.rotation == hdrRotate270) {
            tx = outH - 1 - r, ty = c0, step = pitch;
        }
        const std::uint8_t* texel = frame.texels + ty * pitch + tx * 8;
        const std::int64_t row = (std::int64_t{target.height} - 1) - (frame.top + r - target.originY);
        std::uint8_t* pixel = target.pixels + (row * target.width + (frame.left + c0 - target.originX)) * 4;
        for (std::int64_t c = c0; c < c1; ++c, texel += step, pixel += 4) {
            std::uint16_t rgb[3];
            std::memcpy(rgb, texel, sizeof rgb);
            convertHdrPixel(table, rgb[0], rgb[1], rgb[2], pixel);
        }
    }
}
