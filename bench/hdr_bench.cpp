// HDR tone mapping timings: building and rebuilding a table, and converting a
// 3840x2160 half-float frame into the frozen desktop (identity and 90-degree
// rotation, rows written bottom-up into BGRA): convertHdrFrame beside the
// direct per-pixel loop it replaces, with memcpy of the same bytes as the
// other peer in the same run.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <benchmark/benchmark.h>

#include "capture/capture.h"
#include "image_file.h"

namespace {

constexpr int outW = 3840;
constexpr int outH = 2160;
constexpr std::size_t targetBytes = std::size_t{outW} * outH * 4;

double halfValue(std::uint16_t code) {
    const int e = (code >> 10) & 0x1F;
    const int m = code & 0x3FF;
    return e == 0 ? std::ldexp(m, -24) : std::ldexp(m + 1024, e - 25);
}

// The half float nearest below or at `value` (codes sort like values).
std::uint16_t toHalf(double value) {
    std::uint16_t low = 0, high = 0x7BFF;
    while (low < high) {
        const auto mid = static_cast<std::uint16_t>((low + high + 1) / 2);
        if (halfValue(mid) <= value)
            low = mid;
        else
            high = static_cast<std::uint16_t>(mid - 1);
    }
    return low;
}

// A mapped staging texture: RGBA half floats, rows `rowPitch` bytes apart
// (256-byte aligned, as drivers lay them out).
struct MappedFrame {
    std::vector<std::uint8_t> bytes;
    std::size_t rowPitch = 0;
    int rotation = 0;
};

enum Content { desktopContent, photoContent };

// The generated desktop as a 200-nit HDR desktop (white = 2.5), with a band of
// highlights up to 1000 nits so that the shoulder is exercised; or a
// photo-like picture (shading with grain from 0 to 1500 nits) where no two
// neighbours are alike, the worst case for the fast loops' flat areas.
MappedFrame makeFrame(int rotation, Content content) {
    LoadedImage image;
    std::string error;
    if (!readImageFile(std::string(ORVANE_CORPUS_DIR) + "/desktop_3840x2160.png", image, error))
        throw std::runtime_error(error);
    if (image.width != outW || image.height != outH)
        throw std::runtime_error("the generated desktop is not 3840x2160");
    std::uint16_t halfOf[256];
    for (int v = 0; v < 256; ++v) {
        const double s = v / 255.0;
        const double linear = s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        halfOf[v] = toHalf(linear * 2.5);
    }
    std::uint16_t photoHalf[4096]; // 0 .. 18.75 in steps of 1/4096 of that
    for (int v = 0; v < 4096; ++v)
        photoHalf[v] = toHalf(18.75 * v / 4095.0);
    std::uint32_t noise = 12345;
    const int texW = rotation == 90 ? outH : outW;
    const int texH = rotation == 90 ? outW : outH;
    MappedFrame frame;
    frame.rotation = rotation;
    frame.rowPitch = (std::size_t{static_cast<unsigned>(texW)} * 8 + 255) / 256 * 256;
    frame.bytes.assign(frame.rowPitch * static_cast<unsigned>(texH), 0);
    for (int r = 0; r < outH; ++r) {
        for (int c = 0; c < outW; ++c) {
            const std::uint8_t* px = &image.bgra[(std::size_t(r) * outW + c) * 4];
            std::uint16_t rgba[4] = {halfOf[px[2]], halfOf[px[1]], halfOf[px[0]], 0x3C00};
            if (content == desktopContent && r >= 1000 && r < 1160) // highlights: 2.5 .. 12.5 across the screen
                rgba[0] = rgba[1] = rgba[2] = toHalf(2.5 + 10.0 * c / outW);
            if (content == photoContent)
                for (int k = 0; k < 3; ++k) {
                    noise = noise * 1664525u + 1013904223u;
                    const int shade = (c * (3 + k) + r * (5 - k)) % 3000 + static_cast<int>(noise >> 26) * 16;
                    rgba[k] = photoHalf[std::min(shade, 4095)];
                }
            const int tx = rotation == 90 ? r : c;
            const int ty = rotation == 90 ? outW - 1 - c : r;
            std::memcpy(&frame.bytes[std::size_t(ty) * frame.rowPitch + std::size_t(tx) * 8], rgba, 8);
        }
    }
    return frame;
}

HdrFrame frameView(const MappedFrame& mapped) {
    HdrFrame frame;
    frame.texels = mapped.bytes.data();
    frame.rowPitch = mapped.rowPitch;
    frame.right = outW;
    frame.bottom = outH;
    frame.rotation = mapped.rotation == 90 ? hdrRotate90 : 0;
    return frame;
}

HdrTarget desktopOf(std::uint8_t* pixels) { return HdrTarget{pixels, 0, 0, outW, outH}; }

const MappedFrame& frameFor(int rotation, Content content = desktopContent) {
    static const MappedFrame identity = makeFrame(0, desktopContent);
    static const MappedFrame rotated = makeFrame(90, desktopContent);
    if (content == photoContent) {
        static const MappedFrame photoIdentity = makeFrame(0, photoContent);
        static const MappedFrame photoRotated = makeFrame(90, photoContent);
        return rotation == 90 ? photoRotated : photoIdentity;
    }
    return rotation == 90 ? rotated : identity;
}

const HdrToneTable& table200() {
    static const std::unique_ptr<HdrToneTable> table = createHdrToneTable(200);
    return *table;
}

void setFrameCounters(benchmark::State& state, std::size_t bytes) {
    state.SetLabel("3840x2160");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["MPix/s"] =
        benchmark::Counter(double(outW) * outH / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_createTable(benchmark::State& state) {
    srgbEncodeTable(); // once per process; not part of a table
    for (auto _ : state) {
        auto table = createHdrToneTable(80);
        benchmark::DoNotOptimize(table.get());
    }
}

void BM_rebuildTable(benchmark::State& state) {
    auto table = createHdrToneTable(80);
    float level = 80;
    for (auto _ : state) {
        level = level == 80 ? 200.0f : 80.0f;
        prepareHdrToneTable(*table, level);
        benchmark::DoNotOptimize(table.get());
    }
}

void BM_sameLevel(benchmark::State& state) {
    auto table = createHdrToneTable(80);
    for (auto _ : state) {
        prepareHdrToneTable(*table, 80);
        benchmark::DoNotOptimize(table.get());
    }
}

// The direct table-driven walk, one pixel at a time through convertHdrPixel:
// rows one after the other, the texel pointer moving by 8 bytes (identity),
// -rowPitch (90), -8 bytes (180) or +rowPitch (270) per pixel.
void convertHdrFrameDirect(const HdrToneTable& table, const HdrFrame& frame, const HdrTarget& target) {
    const std::int64_t frameW = std::int64_t{frame.right} - frame.left;
    const std::int64_t frameH = std::int64_t{frame.bottom} - frame.top;
    const std::int64_t c0 = std::max<std::int64_t>(0, std::int64_t{target.originX} - frame.left);
    const std::int64_t c1 = std::min<std::int64_t>(std::int64_t{target.originX} + target.width - frame.left, frameW);
    const std::int64_t r0 = std::max<std::int64_t>(0, std::int64_t{target.originY} - frame.top);
    const std::int64_t r1 = std::min<std::int64_t>(std::int64_t{target.originY} + target.height - frame.top, frameH);
    const auto pitch = static_cast<std::int64_t>(frame.rowPitch);
    for (std::int64_t r = r0; r < r1; ++r) {
        std::int64_t tx = c0, ty = r, step = 8;
        if (frame.rotation == hdrRotate90) {
            tx = r, ty = frameW - 1 - c0, step = -pitch;
        } else if (frame.rotation == hdrRotate180) {
            tx = frameW - 1 - c0, ty = frameH - 1 - r, step = -8;
        } else if (frame.rotation == hdrRotate270) {
            tx = frameH - 1 - r, ty = c0, step = pitch;
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

using ConvertFrame = void (*)(const HdrToneTable&, const HdrFrame&, const HdrTarget&);

// range(0): rotation; range(1): 0 desktop, 1 photo-like.
void convertFrame(benchmark::State& state, ConvertFrame convert) {
    const int rotation = static_cast<int>(state.range(0));
    const auto content = static_cast<Content>(state.range(1));
    const HdrFrame frame = frameView(frameFor(rotation, content));
    const HdrToneTable& table = table200();
    std::vector<std::uint8_t> target(targetBytes);
    for (auto _ : state) {
        convert(table, frame, desktopOf(target.data()));
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setFrameCounters(state, targetBytes);
    state.SetLabel(std::string(content == photoContent ? "photo" : "desktop") +
                   (rotation == 90 ? " 3840x2160 rotated 90" : " 3840x2160 identity"));
}

void BM_convertHdrFrame(benchmark::State& state) { convertFrame(state, convertHdrFrame); }
// The direct table-driven loop, one pixel at a time: the yardstick for the speed-up.
void BM_convertFrameDirect(benchmark::State& state) { convertFrame(state, convertHdrFrameDirect); }

// The peers: copying what the conversion writes, and what it reads.
void BM_memcpyTarget(benchmark::State& state) {
    std::vector<std::uint8_t> source(targetBytes, 0x5A), target(targetBytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), targetBytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setFrameCounters(state, targetBytes);
    state.SetLabel("3840x2160 BGRA (what is written)");
}

void BM_memcpyFrame(benchmark::State& state) {
    const MappedFrame& frame = frameFor(0);
    std::vector<std::uint8_t> copy(frame.bytes.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), frame.bytes.data(), frame.bytes.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    setFrameCounters(state, frame.bytes.size());
    state.SetLabel("3840x2160 RGBA half (what is read)");
}

// Both walks must give the same upright picture, and the fast conversion the
// direct loop's bytes, or the timings mean nothing.
bool conversionsAgree() {
    for (const Content content : {desktopContent, photoContent}) {
        std::vector<std::uint8_t> direct(targetBytes), rotated(targetBytes), fast(targetBytes);
        convertHdrFrameDirect(table200(), frameView(frameFor(0, content)), desktopOf(direct.data()));
        convertHdrFrameDirect(table200(), frameView(frameFor(90, content)), desktopOf(rotated.data()));
        if (direct != rotated)
            return false;
        for (const int rotation : {0, 90}) {
            convertHdrFrame(table200(), frameView(frameFor(rotation, content)), desktopOf(fast.data()));
            if (fast != direct)
                return false;
        }
    }
    return true;
}

BENCHMARK(BM_createTable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_rebuildTable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_sameLevel);
void frameArgs(benchmark::internal::Benchmark* b) {
    b->ArgsProduct({{0, 90}, {desktopContent, photoContent}})->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_convertHdrFrame)->Apply(frameArgs);
BENCHMARK(BM_convertFrameDirect)->Apply(frameArgs);
BENCHMARK(BM_memcpyTarget)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpyFrame)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!conversionsAgree()) {
        std::fputs("hdr_bench: the walks or the fast conversion disagree with the direct identity picture\n", stderr);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
