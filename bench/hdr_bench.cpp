// HDR tone mapping timings: building and rebuilding a table, and converting a
// 3840x2160 half-float frame walked as the desktop duplication capture walks
// it (identity and 90-degree rotation, rows written bottom-up into BGRA), with
// memcpy of the same bytes as the peer in the same run.
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

// The corpus desktop as a 200-nit HDR desktop (white = 2.5), with a band of
// highlights up to 1000 nits so that the shoulder is exercised.
MappedFrame makeFrame(int rotation) {
    LoadedImage image;
    std::string error;
    if (!readImageFile(std::string(ORVANE_CORPUS_DIR) + "/desktop_3840x2160.png", image, error))
        throw std::runtime_error(error);
    if (image.width != outW || image.height != outH)
        throw std::runtime_error("corpus desktop is not 3840x2160");
    std::uint16_t halfOf[256];
    for (int v = 0; v < 256; ++v) {
        const double s = v / 255.0;
        const double linear = s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        halfOf[v] = toHalf(linear * 2.5);
    }
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
            if (r >= 1000 && r < 1160) // highlights: 2.5 .. 12.5 across the screen
                rgba[0] = rgba[1] = rgba[2] = toHalf(2.5 + 10.0 * c / outW);
            const int tx = rotation == 90 ? r : c;
            const int ty = rotation == 90 ? outW - 1 - c : r;
            std::memcpy(&frame.bytes[std::size_t(ty) * frame.rowPitch + std::size_t(tx) * 8], rgba, 8);
        }
    }
    return frame;
}

// The capture's loop over a whole output at desktop origin (0, 0).
void convertFrame(const HdrToneTable& table, const MappedFrame& frame, std::uint8_t* target) {
    const std::uint8_t* mapped = frame.bytes.data();
    for (int r = 0; r < outH; ++r) {
        std::uint8_t* out = target + std::size_t(outH - 1 - r) * outW * 4;
        const std::uint8_t* src;
        std::ptrdiff_t step;
        if (frame.rotation == 90) {
            src = mapped + std::size_t(outW - 1) * frame.rowPitch + std::size_t(r) * 8;
            step = -static_cast<std::ptrdiff_t>(frame.rowPitch);
        } else {
            src = mapped + std::size_t(r) * frame.rowPitch;
            step = 8;
        }
        for (int c = 0; c < outW; ++c, src += step, out += 4) {
            std::uint16_t rgb[3];
            std::memcpy(rgb, src, sizeof(rgb));
            convertHdrPixel(table, rgb[0], rgb[1], rgb[2], out);
        }
    }
}

const MappedFrame& frameFor(int rotation) {
    static const MappedFrame identity = makeFrame(0);
    static const MappedFrame rotated = makeFrame(90);
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

void BM_convertFrame(benchmark::State& state) {
    const int rotation = static_cast<int>(state.range(0));
    const MappedFrame& frame = frameFor(rotation);
    const HdrToneTable& table = table200();
    std::vector<std::uint8_t> target(targetBytes);
    for (auto _ : state) {
        convertFrame(table, frame, target.data());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setFrameCounters(state, targetBytes);
    state.SetLabel(rotation == 90 ? "3840x2160 rotated 90" : "3840x2160 identity");
}

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

// Both walks must give the same upright picture, or the timings mean nothing.
bool walksAgree() {
    std::vector<std::uint8_t> a(targetBytes), b(targetBytes);
    convertFrame(table200(), frameFor(0), a.data());
    convertFrame(table200(), frameFor(90), b.data());
    return a == b;
}

BENCHMARK(BM_createTable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_rebuildTable)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_sameLevel);
BENCHMARK(BM_convertFrame)->Arg(0)->Arg(90)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpyTarget)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpyFrame)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!walksAgree()) {
        std::fputs("hdr_bench: the rotated walk does not reproduce the identity picture\n", stderr);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
