// The pixel passes of a capture beside memcpy of the same bytes, in the same
// run: the alpha fill and pixel copy of the whole 3840x2160 desktop, and
// cutting a selection out of it (bottom-up rows in, top-down rows out, edge
// pixels summed), whole and a 1280x720 part.
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "capture/capture.h"
#include "selection/selection_rules.h"

namespace {

constexpr std::int32_t desktopWidth = 3840;
constexpr std::int32_t desktopHeight = 2160;

const std::vector<std::uint8_t>& frozenDesktop() {
    static const std::vector<std::uint8_t> pixels = [] {
        std::vector<std::uint8_t> bytes(std::size_t{desktopWidth} * desktopHeight * 4);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 24);
        return bytes;
    }();
    return pixels;
}

SelectionRect rectFor(benchmark::State& state) {
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto height = static_cast<std::int32_t>(state.range(1));
    return {(desktopWidth - width) / 2, (desktopHeight - height) / 2, width, height};
}

void setCounters(benchmark::State& state, const SelectionRect& rect) {
    const std::size_t bytes = std::size_t(rect.width) * std::size_t(rect.height) * 4;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetLabel(std::to_string(rect.width) + "x" + std::to_string(rect.height));
}

void BM_cutSelection(benchmark::State& state) {
    const SelectionRect rect = rectFor(state);
    const DesktopGeometry desktop{0, 0, desktopWidth, desktopHeight};
    std::vector<std::uint8_t> image(std::size_t(rect.width) * std::size_t(rect.height) * 4);
    for (auto _ : state) {
        EdgeSums sums = cutSelection(frozenDesktop().data(), desktop, rect, image.data());
        benchmark::DoNotOptimize(sums);
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    setCounters(state, rect);
}

// The peer: one memcpy of as many bytes, from the same desktop.
void BM_memcpy(benchmark::State& state) {
    const SelectionRect rect = rectFor(state);
    const std::size_t bytes = std::size_t(rect.width) * std::size_t(rect.height) * 4;
    std::vector<std::uint8_t> image(bytes);
    for (auto _ : state) {
        std::memcpy(image.data(), frozenDesktop().data(), bytes);
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    setCounters(state, rect);
}

constexpr std::size_t desktopPixels = std::size_t{desktopWidth} * desktopHeight;

void setDesktopCounters(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * desktopPixels * 4));
}

// As a capture makes it: the alpha fill of the DIB section and the copy for
// cutting in one pass, into the block the last capture of that size left.
void BM_copyOpaque(benchmark::State& state) {
    std::vector<std::uint8_t> bits = frozenDesktop();
    std::vector<std::uint8_t> copy(bits.size());
    for (auto _ : state) {
        copyOpaque(bits.data(), copy.data(), desktopPixels);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    setDesktopCounters(state);
}

// The peer: memcpy of the desktop into a block already in use.
void BM_memcpyDesktop(benchmark::State& state) {
    std::vector<std::uint8_t> target(desktopPixels * 4);
    for (auto _ : state) {
        std::memcpy(target.data(), frozenDesktop().data(), target.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setDesktopCounters(state);
}

// The fill and the copy must be right too.
bool passesAreRight() {
    std::vector<std::uint8_t> bits = frozenDesktop();
    std::vector<std::uint8_t> copy(bits.size());
    copyOpaque(bits.data(), copy.data(), desktopPixels);
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i] != (i % 4 == 3 ? 255 : frozenDesktop()[i]))
            return false;
    return copy == bits;
}

// The cut must be right, or its time means nothing: every pixel against the
// column-by-column walk it replaces.
bool cutIsRight() {
    const SelectionRect rect{1001, 333, 1500, 900};
    const DesktopGeometry desktop{0, 0, desktopWidth, desktopHeight};
    std::vector<std::uint8_t> image(std::size_t(rect.width) * std::size_t(rect.height) * 4);
    const EdgeSums sums = cutSelection(frozenDesktop().data(), desktop, rect, image.data());
    EdgeSums expected;
    for (std::int32_t i = 0; i < rect.width; ++i)
        for (std::int32_t j = 0; j < rect.height; ++j) {
            const std::size_t row = std::size_t(desktopHeight - 1 - (rect.y + j));
            const std::uint8_t* source = &frozenDesktop()[(row * desktopWidth + std::size_t(rect.x + i)) * 4];
            if (std::memcmp(source, &image[(std::size_t(j) * std::size_t(rect.width) + std::size_t(i)) * 4], 4) != 0)
                return false;
            if (i == 0 || j == 0 || i == rect.width - 1 || j == rect.height - 1) {
                expected.blue += source[0];
                expected.green += source[1];
                expected.red += source[2];
                ++expected.count;
            }
        }
    return sums.blue == expected.blue && sums.green == expected.green && sums.red == expected.red &&
           sums.count == expected.count;
}

BENCHMARK(BM_copyOpaque)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpyDesktop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_cutSelection)->Args({3840, 2160})->Args({1280, 720})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpy)->Args({3840, 2160})->Args({1280, 720})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!cutIsRight() || !passesAreRight()) {
        std::fputs("capture_bench: a pass does not produce the pixels it should\n", stderr);
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
