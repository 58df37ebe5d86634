// The JPEG writer against the standard, through the reference written from
// T.81 alone: the same header bytes, every coefficient within one step of the
// real-valued DCT, and the writer's own coefficients coded into the very same
// file. Then every pairing of transform and coder against the default bytes.
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "image_file.h"
#include "jpeg_memory.h"
#include "jpeg_reference.h"
#include "jpeg_scan_reader.h"
#include "output/jpeg_kernels.h"
#include "output/jpeg_scan.h"
#include "test_support.h"

using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr const char* comment = "Captured with Lumagrab";

std::vector<std::uint8_t>* fastTarget = nullptr;
void fastSink(std::uint8_t byte) { fastTarget->push_back(byte); }

struct Variant {
    std::string name;
    TransformMcu transform;
    EncodeJpegScan scan;
};

// Every transform with every coder, as far as this processor runs them.
std::vector<Variant> variants() {
    std::vector<std::pair<const char*, TransformMcu>> transforms{{"scalar", transformMcuScalar}};
    std::vector<std::pair<const char*, EncodeJpegScan>> scans{{"portable", encodeJpegScanPortable}};
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        transforms.emplace_back("avx2", transformMcuAvx2);
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512cd"))
        transforms.emplace_back("avx512", transformMcuAvx512);
    if (__builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2"))
        scans.emplace_back("bmi2", encodeJpegScanBmi2);
#endif
    std::vector<Variant> all;
    for (const auto& [transformName, transform] : transforms)
        for (const auto& [scanName, scan] : scans)
            all.push_back({std::string(transformName) + "+" + scanName, transform, scan});
    return all;
}

Bytes encodeWith(const Variant& variant, const Bytes& rgb, std::uint32_t width, std::uint32_t height) {
    Bytes bytes;
    fastTarget = &bytes;
    JpegRowSource source;
    source.pixels = rgb.data();
    encodeJpegWith(variant.transform, variant.scan, fastSink, source, static_cast<std::uint16_t>(width),
                   static_cast<std::uint16_t>(height), 90, comment);
    fastTarget = nullptr;
    return bytes;
}

void expectEqualFiles(const Bytes& fast, const Bytes& reference, const std::string& what) {
    ASSERT_EQ(fast.size(), reference.size()) << what;
    const auto mismatch = std::mismatch(fast.begin(), fast.end(), reference.begin());
    ASSERT_TRUE(mismatch.first == fast.end())
        << what << ": first difference at byte " << (mismatch.first - fast.begin());
}

// Catches a wrong table entry, header byte, colour weight, transform step,
// rounding, edge repetition, Huffman code, run, stuffing or padding.
void expectTheStandardsFile(const Bytes& rgb, std::uint32_t width, std::uint32_t height, const std::string& what) {
    const Bytes file = encodeJpegToMemory(rgb, width, height, comment);
    const jpeg_inspect::ParsedJpeg parsed = jpeg_inspect::parse(file);
    ASSERT_EQ(parsed.error, "") << what;
    const std::vector<jpeg_reference::Block> expected = jpeg_reference::quantisedBlocks(rgb.data(), width, height);
    ASSERT_EQ(parsed.blocks.size(), expected.size()) << what;
    std::vector<jpeg_reference::Block> written(expected.size());
    std::size_t exact = 0, farBlock = 0, farIndex = 0;
    int farthest = 0;
    for (std::size_t b = 0; b < expected.size(); ++b)
        for (std::size_t k = 0; k < 64; ++k) {
            written[b][k] = parsed.blocks[b].coefficients[k];
            const int off = std::abs(written[b][k] - expected[b][k]);
            exact += off == 0;
            if (off > farthest)
                farthest = off, farBlock = b, farIndex = k;
        }
    // The writer's single-precision scaled DCT is not the real-valued one: a
    // value within a hair of a rounding boundary may go either way.
    ASSERT_LE(farthest, 1) << what << ": block " << farBlock << ", zig-zag " << farIndex;
    EXPECT_GE(exact * 100, expected.size() * 64 * 99) << what << ": too many coefficients one step off";
    expectEqualFiles(file,
                     jpeg_reference::encodeFile(written, static_cast<std::uint16_t>(width),
                                                static_cast<std::uint16_t>(height), comment),
                     what);
}

// Every variant gives the default's bytes, and the default follows the standard.
void expectSameBytes(const Bytes& rgb, std::uint32_t width, std::uint32_t height, const std::string& what) {
    expectTheStandardsFile(rgb, width, height, what);
    const Bytes byDefault = encodeJpegToMemory(rgb, width, height, comment);
    static const std::vector<Variant> all = variants();
    for (const Variant& variant : all)
        expectEqualFiles(encodeWith(variant, rgb, width, height), byDefault, what + " " + variant.name);
}

// Content kinds that stress different parts: noise (long codes, no EOB),
// smooth ramps, flat areas with sharp edges, extreme values.
Bytes makeContent(int kind, std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
    const std::size_t count = std::size_t{width} * height * 3;
    switch (kind) {
    case 0:
        return noiseBytes(count, seed);
    case 1: {
        Bytes rgb(count);
        for (std::size_t i = 0; i < count; ++i)
            rgb[i] = static_cast<std::uint8_t>((i / 3 % width) * 255 / std::max(1u, width - 1) + (i % 3) * 40);
        return rgb;
    }
    case 2:
        return bgraToRgb(makeFPictureBgra(width, height));
    default: {
        Bytes rgb = noiseBytes(count, seed);
        for (auto& b : rgb)
            b = b < 128 ? 0 : 255; // saturated: the largest coefficients
        return rgb;
    }
    }
}

TEST(JpegEquivalence, RandomSizesAndContentsFollowTheStandard) {
    const Bytes sizes = noiseBytes(400, 77);
    for (std::size_t i = 0; i + 1 < sizes.size(); i += 2) {
        const std::uint32_t width = 1u + sizes[i] % 70u, height = 1u + sizes[i + 1] % 45u;
        const int kind = static_cast<int>(i / 2 % 4);
        expectSameBytes(makeContent(kind, width, height, static_cast<std::uint32_t>(i)), width, height,
                        std::to_string(width) + "x" + std::to_string(height) + " kind " + std::to_string(kind));
    }
}

TEST(JpegEquivalence, EdgeSizesFollowTheStandard) {
    for (auto [w, h] : {std::pair{1u, 1u},
                        {7u, 7u},
                        {8u, 8u},
                        {9u, 9u},
                        {15u, 17u},
                        {16u, 16u},
                        {1u, 300u},
                        {300u, 1u},
                        {65535u, 2u},
                        {2u, 4000u}})
        for (int kind = 0; kind < 4; ++kind)
            expectSameBytes(makeContent(kind, w, h, w * 7 + h), w, h,
                            std::to_string(w) + "x" + std::to_string(h) + " kind " + std::to_string(kind));
}

// Catches a difference that only whole pictures show: long runs of flat
// panels, thin lines, text edges and grain, many restarts of the coder's state.
TEST(JpegEquivalence, GeneratedPicturesFollowTheStandard) {
    for (const char* name : {"desktop_1920x1080.png", "photo_3840x2160.png"}) {
        LoadedImage image;
        std::string error;
        ASSERT_TRUE(readImageFile((corpusDir() / name).string(), image, error)) << error;
        expectTheStandardsFile(bgraToRgb(image.bgra), image.width, image.height, name);
    }
}

// Extra pictures given as ORVANE_CORPUS (none by default).
TEST(JpegEquivalence, ExtraPicturesFollowTheStandard) {
    for (const auto& path : extraCorpusPictures()) {
        LoadedImage image;
        std::string error;
        ASSERT_TRUE(readImageFile(path.string(), image, error)) << error;
        expectTheStandardsFile(bgraToRgb(image.bgra), image.width, image.height, path.filename().string());
    }
}

TEST(JpegEquivalence, EverySimdTransformMatchesTheScalarOne) {
    std::vector<std::pair<const char*, TransformMcu>> variants;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        variants.emplace_back("avx2", transformMcuAvx2);
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512cd"))
        variants.emplace_back("avx512", transformMcuAvx512);
#endif
    if (variants.empty())
        GTEST_SKIP() << "this processor has no SIMD transform";

    float luminance[64], chrominance[64];
    const Bytes q = noiseBytes(128, 5);
    for (int i = 0; i < 64; ++i) { // realistic divisors, including the extremes of quality 90
        luminance[i] = 1.0f / (8.0f * float(1 + q[static_cast<std::size_t>(i)] % 24));
        chrominance[i] = 1.0f / (8.0f * float(1 + q[static_cast<std::size_t>(64 + i)] % 20));
    }
    for (std::uint32_t trial = 0; trial < 4000; ++trial) {
        const Bytes pixels = makeContent(static_cast<int>(trial % 4), 8, 8, trial);
        const std::uint8_t* rows[8];
        for (int k = 0; k < 8; ++k)
            rows[k] = pixels.data() + k * 24;
        JpegMcu expected{}, actual{};
        transformMcuScalar(rows, luminance, chrominance, expected);
        for (const auto& [name, transform] : variants) {
            std::memset(&actual, 0x5A, sizeof actual);
            transform(rows, luminance, chrominance, actual);
            ASSERT_EQ(0, std::memcmp(expected.coefficients, actual.coefficients, sizeof expected.coefficients))
                << name << " trial " << trial;
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(expected.nonzero[c], actual.nonzero[c]) << name << " trial " << trial;
                // Defined for the non-zero AC coefficients, and only the low `size` bits.
                for (int i = 1; i < 64; ++i) {
                    if ((expected.nonzero[c] >> i & 1) == 0)
                        continue;
                    ASSERT_EQ(expected.sizes[c][i], actual.sizes[c][i]) << name << " trial " << trial;
                    const unsigned mask = (1u << expected.sizes[c][i]) - 1u;
                    ASSERT_EQ(expected.bits[c][i] & mask, actual.bits[c][i] & mask) << name << " trial " << trial;
                }
            }
        }
    }
}

} // namespace
