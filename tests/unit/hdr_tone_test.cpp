// The HDR tone tables: the documented pixel values, the rebuild rules, refused
// levels, and checksums of whole tables that both builds must reproduce.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "capture/capture.h"

namespace {

constexpr std::uint16_t half0 = 0x0000;
constexpr std::uint16_t half0_5 = 0x3800;
constexpr std::uint16_t half1 = 0x3C00;
constexpr std::uint16_t half2 = 0x4000;
constexpr std::uint16_t half2_5 = 0x4100;
constexpr std::uint16_t half3 = 0x4200;
constexpr std::uint16_t halfMinus1 = 0xBC00;
constexpr std::uint16_t halfNan = 0x7E00;

struct Bgra {
    std::uint8_t b, g, r, a;
};

Bgra convert(const HdrToneTable& table, std::uint16_t red, std::uint16_t green, std::uint16_t blue) {
    std::uint8_t out[4];
    convertHdrPixel(table, red, green, blue, out);
    return {out[0], out[1], out[2], out[3]};
}

// One table per level for the whole run: building one takes milliseconds.
const HdrToneTable& tableFor(float nits) {
    static std::vector<std::pair<float, std::unique_ptr<HdrToneTable>>> built;
    for (const auto& entry : built)
        if (entry.first == nits)
            return *entry.second;
    built.emplace_back(nits, createHdrToneTable(nits));
    EXPECT_NE(built.back().second, nullptr);
    return *built.back().second;
}

// FNV-1a, 64 bits.
struct Checksum {
    std::uint64_t value = 0xCBF29CE484222325u;
    void add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < size; ++i)
            value = (value ^ bytes[i]) * 0x100000001B3u;
    }
};

bool sameArrays(const HdrToneTable& a, const HdrToneTable& b) {
    return std::memcmp(a.linear, b.linear, sizeof(a.linear)) == 0 && std::memcmp(a.gain, b.gain, sizeof(a.gain)) == 0;
}

// --- Documented values -----------------------------------------------------

struct GreyCase {
    float nits;
    std::uint16_t code;
    std::uint8_t expected;
};

class GreyPixel : public ::testing::TestWithParam<GreyCase> {};

TEST_P(GreyPixel, GivesTheDocumentedByteInEveryChannel) {
    const GreyCase& c = GetParam();
    const Bgra out = convert(tableFor(c.nits), c.code, c.code, c.code);
    EXPECT_EQ(out.b, c.expected);
    EXPECT_EQ(out.g, c.expected);
    EXPECT_EQ(out.r, c.expected);
    EXPECT_EQ(out.a, 255);
}

INSTANTIATE_TEST_SUITE_P(WhiteLevels, GreyPixel,
                         ::testing::Values(GreyCase{80, half0, 0}, GreyCase{80, half0_5, 188}, GreyCase{80, half1, 244},
                                           GreyCase{80, half2, 255}, GreyCase{80, 0x7BFF, 255},
                                           GreyCase{80, halfInfinityCode, 255}, GreyCase{200, half1, 170},
                                           GreyCase{200, half2, 231}, GreyCase{200, half2_5, 244},
                                           GreyCase{200, half3, 250}, GreyCase{200, halfInfinityCode, 255}));

TEST(HdrToneTable, WhiteLevelBecomesOneAndTheShoulderStartsAboveThreeQuarters) {
    const HdrToneTable& t80 = tableFor(80);
    EXPECT_EQ(t80.linear[half1], 1.0f);
    EXPECT_NEAR(t80.gain[half1], 0.90803f, 0.00001f);
    EXPECT_EQ(t80.gain[0x3A00], 1.0f); // 0.75 itself is below the shoulder
    EXPECT_LT(t80.gain[0x3A01], 1.0f);
    EXPECT_EQ(t80.linear[halfInfinityCode], 65504.0f);
    const HdrToneTable& t200 = tableFor(200);
    EXPECT_EQ(t200.linear[half2_5], 1.0f);
    EXPECT_EQ(t200.gain[half1], 1.0f);
    EXPECT_EQ(t200.gain[half2_5], t80.gain[half1]);
}

TEST(HdrToneTable, BrighterGreyNeverGivesADarkerByte) {
    for (const float nits : {80.0f, 200.0f, 480.0f}) {
        const HdrToneTable& table = tableFor(nits);
        std::uint8_t previous = 0;
        for (std::uint32_t code = 0; code < hdrToneCodeCount; ++code) {
            const auto half = static_cast<std::uint16_t>(code);
            const std::uint8_t byte = convert(table, half, half, half).g;
            ASSERT_GE(byte, previous) << nits << " nits, code " << code;
            previous = byte;
        }
        EXPECT_EQ(previous, 255);
    }
}

// --- Colour and invalid channels -------------------------------------------

struct ColourCase {
    const char* name;
    float nits;
    std::uint16_t red, green, blue;
    Bgra expected;
};

class ColourPixel : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ColourPixel, GainComesFromTheBrightestValidChannel) {
    const ColourCase& c = GetParam();
    const Bgra out = convert(tableFor(c.nits), c.red, c.green, c.blue);
    EXPECT_EQ(out.b, c.expected.b);
    EXPECT_EQ(out.g, c.expected.g);
    EXPECT_EQ(out.r, c.expected.r);
    EXPECT_EQ(out.a, c.expected.a);
}

INSTANTIATE_TEST_SUITE_P(
    Pixels, ColourPixel,
    ::testing::Values(ColourCase{"RedIsBrightest", 80, half2, half0_5, half0, {0, 137, 255, 255}},
                      // The same pixel with the channels rotated: the gain follows the brightest.
                      ColourCase{"BlueIsBrightest", 80, half0, half0_5, half2, {255, 137, 0, 255}},
                      ColourCase{"NegativeAndNan", 80, halfMinus1, halfNan, half1, {244, 0, 0, 255}},
                      // Invalid codes sort above every valid one; they must not pick the gain.
                      ColourCase{"NanBesideHalf", 80, halfNan, half0_5, half0_5, {188, 188, 0, 255}},
                      ColourCase{"NegativeZero", 80, 0x8000, half1, half1, {244, 244, 0, 255}},
                      ColourCase{"NegativeInfinity", 80, 0xFC00, 0xFFFF, half1, {244, 0, 0, 255}},
                      ColourCase{"SmallestNan", 80, 0x7C01, 0x7C01, 0x7C01, {0, 0, 0, 255}},
                      ColourCase{"InfinityBesideHalf", 80, halfInfinityCode, half0_5, half0, {0, 0, 255, 255}}),
    [](const ::testing::TestParamInfo<ColourCase>& param) { return std::string(param.param.name); });

// --- Rebuilding ------------------------------------------------------------

TEST(PrepareHdrToneTable, SameLevelAgainLeavesTheTableUntouched) {
    auto table = createHdrToneTable(80);
    ASSERT_NE(table, nullptr);
    table->linear[half1] = 123.0f;
    table->gain[half1] = 0.5f;
    table->gain[halfInfinityCode] = 7.0f;
    EXPECT_TRUE(prepareHdrToneTable(*table, 80));
    EXPECT_EQ(table->linear[half1], 123.0f);
    EXPECT_EQ(table->gain[half1], 0.5f);
    EXPECT_EQ(table->gain[halfInfinityCode], 7.0f);
    EXPECT_EQ(table->whiteNits, 80.0f);
}

TEST(PrepareHdrToneTable, ChangedLevelRebuildsBothArraysInFull) {
    auto table = createHdrToneTable(80);
    ASSERT_NE(table, nullptr);
    for (const std::uint32_t code : {0u, 1u, 0x3C00u, 0x7BFFu, 0x7C00u}) {
        table->linear[code] = -1.0f;
        table->gain[code] = -1.0f;
    }
    EXPECT_TRUE(prepareHdrToneTable(*table, 200));
    EXPECT_EQ(table->whiteNits, 200.0f);
    EXPECT_TRUE(sameArrays(*table, tableFor(200)));
    EXPECT_TRUE(prepareHdrToneTable(*table, 80));
    EXPECT_TRUE(sameArrays(*table, tableFor(80)));
}

TEST(PrepareHdrToneTable, EveryTableSharesTheOneEncodeTable) {
    auto a = createHdrToneTable(80);
    auto b = createHdrToneTable(300);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->srgbTable, &srgbEncodeTable());
    EXPECT_EQ(b->srgbTable, a->srgbTable);
}

// A level of 0 used to match a fresh table's "not built" mark and leave it
// unbuilt; a non-finite scale put NaN into the tables and an out-of-range
// index into the encode table. Such levels are refused.
class UnusableLevel : public ::testing::TestWithParam<float> {};

TEST_P(UnusableLevel, IsRefusedAndLeavesTheTableAsItWas) {
    const float nits = GetParam();
    EXPECT_FALSE(isUsableWhiteNits(nits));
    EXPECT_EQ(createHdrToneTable(nits), nullptr);
    auto table = createHdrToneTable(80);
    ASSERT_NE(table, nullptr);
    EXPECT_FALSE(prepareHdrToneTable(*table, nits));
    EXPECT_EQ(table->whiteNits, 80.0f);
    EXPECT_TRUE(sameArrays(*table, tableFor(80)));
}

INSTANTIATE_TEST_SUITE_P(Levels, UnusableLevel,
                         ::testing::Values(0.0f, -0.0f, -80.0f, std::numeric_limits<float>::quiet_NaN(),
                                           std::numeric_limits<float>::infinity(),
                                           -std::numeric_limits<float>::infinity(),
                                           std::numeric_limits<float>::denorm_min(),
                                           // 80 / 1e-35 is finite, but 65504 times it is not.
                                           1e-35f));

TEST(PrepareHdrToneTable, FreshTableRefusesLevelZero) {
    auto table = std::make_unique<HdrToneTable>();
    table->whiteNits = 0.0f;
    EXPECT_FALSE(prepareHdrToneTable(*table, 0.0f));
}

TEST(PrepareHdrToneTable, AcceptsTheWholeRangeTheSystemReports) {
    // The display configuration gives thousandths of 80 nits in 32 bits.
    for (const float nits : {0.08f, 80.0f, 480.0f, 4294967295.0f * 80.0f / 1000.0f}) {
        auto table = createHdrToneTable(nits);
        ASSERT_NE(table, nullptr) << nits;
        for (std::uint32_t code = 0; code < hdrToneCodeCount; ++code) {
            ASSERT_TRUE(std::isfinite(table->linear[code]) && std::isfinite(table->gain[code])) << nits << " " << code;
            ASSERT_GT(table->gain[code], 0.0f);
        }
    }
}

// --- The encode table ------------------------------------------------------

TEST(SrgbEncodeTable, RunsFromZeroTo255WithoutGoingBack) {
    const SrgbEncodeTable& table = srgbEncodeTable();
    EXPECT_EQ(table.entries[0], 0);
    EXPECT_EQ(table.entries[65535], 255);
    for (std::size_t i = 1; i < 65536; ++i)
        ASSERT_GE(table.entries[i], table.entries[i - 1]) << i;
}

struct EncodeCase {
    std::uint32_t index;
    std::uint8_t expected;
};

class SrgbEncode : public ::testing::TestWithParam<EncodeCase> {};

// Values from an independent implementation: the linear segment, the seam
// with the power segment, and the top.
TEST_P(SrgbEncode, MatchesTheReference) { EXPECT_EQ(srgbEncodeTable().entries[GetParam().index], GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Entries, SrgbEncode,
                         ::testing::Values(EncodeCase{1, 0}, EncodeCase{10, 1}, EncodeCase{100, 5}, EncodeCase{205, 10},
                                           EncodeCase{206, 10}, EncodeCase{1000, 33}, EncodeCase{32768, 188},
                                           EncodeCase{65000, 254}, EncodeCase{65534, 255}));

// --- Whole-table checksums (the same constants in both builds) -------------
// The constants come from `tests/hdr_reference.py --checksums`, not from this code.

struct TableChecksum {
    float nits;
    std::uint64_t tables;
    std::uint64_t pixels;
};

class ToneChecksum : public ::testing::TestWithParam<TableChecksum> {};

TEST_P(ToneChecksum, WholeTablesAndPixelsMatchTheReference) {
    const TableChecksum& c = GetParam();
    const HdrToneTable& table = tableFor(c.nits);
    Checksum tables;
    tables.add(table.linear, sizeof(table.linear));
    tables.add(table.gain, sizeof(table.gain));
    EXPECT_EQ(tables.value, c.tables) << std::hex << tables.value;

    // Grey for every code, then pseudo-random colours over all 65536 codes.
    Checksum pixels;
    for (std::uint32_t code = 0; code < 65536; ++code) {
        const auto half = static_cast<std::uint16_t>(code);
        std::uint8_t out[4];
        convertHdrPixel(table, half, half, half, out);
        pixels.add(out, 4);
    }
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<std::uint16_t>(state >> 16);
    };
    for (int i = 0; i < 200000; ++i) {
        const std::uint16_t red = next(), green = next(), blue = next();
        std::uint8_t out[4];
        convertHdrPixel(table, red, green, blue, out);
        pixels.add(out, 4);
    }
    EXPECT_EQ(pixels.value, c.pixels) << std::hex << pixels.value;
}

INSTANTIATE_TEST_SUITE_P(Levels, ToneChecksum,
                         ::testing::Values(TableChecksum{80, 0x1F7EE33D1293C476u, 0x541F509AE3830950u},
                                           TableChecksum{200, 0x9E5FEC4BAB9A1075u, 0x5310F4C58333E874u},
                                           TableChecksum{480, 0x87601FFD58B95970u, 0x4BCF595238DE2B1Du}));

TEST(SrgbEncodeTable, ChecksumMatchesTheReference) {
    Checksum sum;
    sum.add(srgbEncodeTable().entries, sizeof(srgbEncodeTable().entries));
    EXPECT_EQ(sum.value, 0x8C017252713AA969u) << std::hex << sum.value;
}

} // namespace
