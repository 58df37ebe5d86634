#include <gtest/gtest.h>
#include <lodepng.h>

#include "jpeg_memory.h"
#include "output/output.h"
#include "test_support.h"

using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

namespace {

enum class Kind { none, jpeg, png, bmp };

Kind kindOf(const fs::path& file) {
    if (!fs::exists(file))
        return Kind::none;
    const Bytes b = readFileBytes(file);
    if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xD8)
        return Kind::jpeg;
    if (b.size() >= 4 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G')
        return Kind::png;
    if (b.size() >= 2 && b[0] == 'B' && b[1] == 'M')
        return Kind::bmp;
    return Kind::none;
}

// Names are relative to a private working folder so that the length rules
// apply to the whole name.
class SaveDispatch : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        fs::current_path(dir_.path());
    }
    void TearDown() override { fs::current_path(previous_); }

    TempDir dir_;
    fs::path previous_;
    const Bytes picture_ = makeFPictureBgra(13, 7);
};

struct NameCase {
    const char* path;
    ImageFormat format;
    const char* written; // nullptr: nothing may be written
    Kind kind;
};

class SaveDispatchNames : public SaveDispatch, public ::testing::WithParamInterface<NameCase> {};

TEST_P(SaveDispatchNames, ExtensionDecidesAndFallbackAppends) {
    const NameCase c = GetParam();
    saveImage(c.path, picture_.data(), 13, 7, c.format, true);
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir_.path()))
        files.push_back(entry.path().filename());
    if (!c.written) {
        EXPECT_TRUE(files.empty()) << "wrote " << files.front();
        return;
    }
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.front().string(), c.written);
    EXPECT_EQ(kindOf(files.front()), c.kind);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SaveDispatchNames,
    ::testing::Values(NameCase{"shot.JpG", 1, "shot.JpG", Kind::jpeg}, NameCase{"shot.PNG", 0, "shot.PNG", Kind::png},
                      NameCase{"shot.Bmp", 0, "shot.Bmp", Kind::bmp}, NameCase{"shot.bmp", 0, "shot.bmp", Kind::bmp},
                      NameCase{"shot.jpeg", 1, "shot.jpeg.png", Kind::png},
                      NameCase{"photo", 2, "photo.bmp", Kind::bmp}, NameCase{"photo", 0, "photo.jpg", Kind::jpeg},
                      NameCase{"photo", 3, nullptr, Kind::none}, NameCase{"photo", -1, nullptr, Kind::none},
                      NameCase{"abcd", 0, nullptr, Kind::none}, NameCase{"abcd", 1, nullptr, Kind::none},
                      NameCase{"abcde", 0, "abcde.jpg", Kind::jpeg}, NameCase{".png", 0, ".png", Kind::png},
                      NameCase{"a.jpe", 2, "a.jpe.bmp", Kind::bmp}, NameCase{"a.dib", 1, "a.dib.png", Kind::png}));

// Expected encoder input computed here from the BGRA picture.
Bytes expectedRgba(const Bytes& source, bool bgra) {
    Bytes out(source.size());
    for (std::size_t i = 0; i < source.size(); i += 4) {
        out[i] = source[i + (bgra ? 2 : 0)];
        out[i + 1] = source[i + 1];
        out[i + 2] = source[i + (bgra ? 0 : 2)];
        out[i + 3] = source[i + 3];
    }
    return out;
}

TEST_F(SaveDispatch, PngHoldsTheRgbaPixelsInPlace) {
    for (bool bgra : {true, false}) {
        saveImage("p.png", picture_.data(), 13, 7, 0, bgra);
        std::vector<unsigned char> decoded;
        unsigned w = 0, h = 0;
        ASSERT_EQ(lodepng::decode(decoded, w, h, "p.png", LCT_RGBA, 8), 0u);
        EXPECT_EQ(w, 13u);
        EXPECT_EQ(h, 7u);
        EXPECT_EQ(Bytes(decoded.begin(), decoded.end()), expectedRgba(picture_, bgra)) << "bgra " << bgra;
    }
}

// Catches: a job's pixels reordered in place, or LodePNG served from kept
// memory, giving other bytes than LodePNG's own encode; kept memory never given back.
TEST_F(SaveDispatch, AJobsOwnPixelsGiveTheSameFilesAndKeptMemoryGoesBackWhenIdle) {
    const Bytes picture = makeFPictureBgra(640, 480); // blocks of 1 MB and more are kept
    // The PNG last: the idle time counts from it.
    for (const char* name : {"j.jpg", "b.bmp", "p.png"}) {
        ASSERT_TRUE(saveImage(name, picture.data(), 640, 480, 0, true));
        const Bytes expected = readFileBytes(name);
        Bytes own = picture;
        ASSERT_TRUE(saveImageConsuming(name, own.data(), 640, 480, 0, true));
        EXPECT_EQ(readFileBytes(name), expected) << name;
    }
    const auto now = std::chrono::steady_clock::now();
    std::vector<unsigned char> lodepngOwn;
    ASSERT_EQ(lodepng::encode(lodepngOwn, expectedRgba(picture, true), 640, 480), 0u);
    EXPECT_EQ(readFileBytes("p.png"), Bytes(lodepngOwn.begin(), lodepngOwn.end()));

    EXPECT_GT(keptPngMemory(), 0u);
    givePngMemoryBackIfIdle(now + pngMemoryIdleTime - std::chrono::seconds(1));
    EXPECT_GT(keptPngMemory(), 0u);
    givePngMemoryBackIfIdle(now + pngMemoryIdleTime);
    EXPECT_EQ(keptPngMemory(), 0u);
}

TEST_F(SaveDispatch, BmpHoldsTheBgrPixelsBottomUp) {
    for (bool bgra : {true, false}) {
        saveImage("b.bmp", picture_.data(), 13, 7, 1, bgra);
        const Bytes file = readFileBytes("b.bmp");
        const std::size_t rowSize = 13 * 3 + 1;
        ASSERT_EQ(file.size(), 54 + 7 * rowSize);
        const Bytes rgba = expectedRgba(picture_, bgra);
        for (std::size_t y = 0; y < 7; ++y)
            for (std::size_t x = 0; x < 13; ++x) {
                const std::uint8_t* in = &rgba[(y * 13 + x) * 4];
                const std::uint8_t* out = &file[54 + (6 - y) * rowSize + x * 3];
                ASSERT_EQ(Bytes(out, out + 3), (Bytes{in[2], in[1], in[0]})) << x << "," << y << " bgra " << bgra;
            }
    }
}

TEST_F(SaveDispatch, JpegGetsTheRgbPixelsAndTheComment) {
    // One band of rows, and several with a short last one (the rows are converted band by band).
    for (const auto& [width, height] : {std::pair{13u, 7u}, std::pair{37u, 29u}}) {
        const Bytes picture = makeFPictureBgra(width, height);
        for (bool bgra : {true, false}) {
            saveImage("j.jpg", picture.data(), width, height, 1, bgra);
            const Bytes rgba = expectedRgba(picture, bgra);
            Bytes rgb;
            for (std::size_t i = 0; i < rgba.size(); i += 4)
                rgb.insert(rgb.end(), {rgba[i], rgba[i + 1], rgba[i + 2]});
            EXPECT_EQ(readFileBytes("j.jpg"), encodeJpegToMemory(rgb, width, height, "Captured with Lumagrab"))
                << width << "x" << height << " bgra " << bgra;
        }
    }
}

TEST_F(SaveDispatch, OneOpaqueRedPixelReachesEveryEncoderAsRed) {
    const Bytes red = {0x00, 0x00, 0xFF, 0xFF};
    saveImage("r.jpg", red.data(), 1, 1, 0, true);
    EXPECT_EQ(readFileBytes("r.jpg"), encodeJpegToMemory({0xFF, 0x00, 0x00}, 1, 1));
    saveImage("r.bmp", red.data(), 1, 1, 0, true);
    const Bytes bmp = readFileBytes("r.bmp");
    EXPECT_EQ(Bytes(bmp.begin() + 54, bmp.end()), (Bytes{0x00, 0x00, 0xFF, 0}));
    saveImage("r.png", red.data(), 1, 1, 0, true);
    std::vector<unsigned char> decoded;
    unsigned w, h;
    ASSERT_EQ(lodepng::decode(decoded, w, h, "r.png"), 0u);
    EXPECT_EQ(Bytes(decoded.begin(), decoded.end()), (Bytes{0xFF, 0x00, 0x00, 0xFF}));

    saveImage("b.jpg", red.data(), 1, 1, 0, false); // the same bytes read as RGBA: blue
    EXPECT_EQ(readFileBytes("b.jpg"), encodeJpegToMemory({0x00, 0x00, 0xFF}, 1, 1));
}

TEST_F(SaveDispatch, ReplacesAnExistingFileOfEveryFormat) {
    for (const char* name : {"old.jpg", "old.png", "old.bmp"}) {
        writeFileBytes(name, Bytes(100000, 0x5A));
        saveImage(name, picture_.data(), 13, 7, 0, true);
        const Bytes now = readFileBytes(name);
        EXPECT_LT(now.size(), 100000u) << name;
        EXPECT_NE(kindOf(name), Kind::none) << name;
    }
}

TEST_F(SaveDispatch, UnwritableTargetsWriteNothingAndLeaveNoFolder) {
    for (const char* name : {"missing/a.jpg", "missing/a.png", "missing/a.bmp", "missing/a"}) {
        saveImage(name, picture_.data(), 13, 7, 0, true);
        EXPECT_FALSE(fs::exists("missing")) << name;
    }
    fs::create_directory("folder.png");
    saveImage("folder.png", picture_.data(), 13, 7, 0, true);
    EXPECT_TRUE(fs::is_directory("folder.png"));
}

TEST_F(SaveDispatch, JpegBeyondTheFormatsSizeLimitIsNotWrittenAndKeepsTheOldFile) {
    const Bytes wide(65536u * 4u, 0x80);
    saveImage("wide.jpg", wide.data(), 65536, 1, 0, true);
    saveImage("tall.jpg", wide.data(), 1, 65536, 0, true);
    EXPECT_FALSE(fs::exists("wide.jpg"));
    EXPECT_FALSE(fs::exists("tall.jpg"));

    saveImage("edge.jpg", wide.data(), 65535, 1, 0, true);
    EXPECT_EQ(kindOf("edge.jpg"), Kind::jpeg);

    writeFileBytes("kept.jpg", Bytes{1, 2, 3});
    saveImage("kept.jpg", wide.data(), 0, 5, 0, true);
    saveImage("kept.jpg", wide.data(), 65536, 1, 0, true);
    EXPECT_EQ(readFileBytes("kept.jpg"), (Bytes{1, 2, 3}));
}

} // namespace

namespace {

class SaveDispatchOutcome : public SaveDispatch, public ::testing::WithParamInterface<const char*> {};

TEST_P(SaveDispatchOutcome, ReportsAWrittenFileAndLeavesNoPartOfIt) {
    EXPECT_TRUE(saveImage(GetParam(), picture_.data(), 13, 7, 0, true));
    EXPECT_NE(kindOf(GetParam()), Kind::none);
    EXPECT_FALSE(fs::exists(std::string(GetParam()) + ".part"));
    EXPECT_FALSE(saveImage((std::string("missing/") + GetParam()).c_str(), picture_.data(), 13, 7, 0, true));
}

TEST_P(SaveDispatchOutcome, AFileThatCannotBeWrittenLeavesTheOlderOneWhole) {
    // Every temporary name taken by a folder: the new file cannot be written.
    writeFileBytes(GetParam(), Bytes{1, 2, 3});
    for (int attempt = 1; attempt <= temporaryNameTries; ++attempt)
        fs::create_directory(temporaryName(GetParam(), attempt));
    EXPECT_FALSE(saveImage(GetParam(), picture_.data(), 13, 7, 0, true));
    EXPECT_EQ(readFileBytes(GetParam()), (Bytes{1, 2, 3}));
}

// Catches a save that writes through a user's own file of the temporary name
// (truncating it, then moving it over the target).
TEST_P(SaveDispatchOutcome, AUsersFileWithTheTemporaryNameIsLeftAlone) {
    const std::string own = temporaryName(GetParam(), 1);
    writeFileBytes(own, Bytes{9, 8, 7});
    EXPECT_TRUE(saveImage(GetParam(), picture_.data(), 13, 7, 0, true));
    EXPECT_NE(kindOf(GetParam()), Kind::none);
    EXPECT_EQ(readFileBytes(own), (Bytes{9, 8, 7}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);
}

TEST_P(SaveDispatchOutcome, AFolderInTheWayIsNeitherReplacedNorReportedAsWritten) {
    fs::create_directory(GetParam());
    EXPECT_FALSE(saveImage(GetParam(), picture_.data(), 13, 7, 0, true));
    EXPECT_TRUE(fs::is_directory(GetParam()));
    EXPECT_FALSE(fs::exists(std::string(GetParam()) + ".part"));
}

INSTANTIATE_TEST_SUITE_P(Formats, SaveDispatchOutcome, ::testing::Values("o.jpg", "o.png", "o.bmp"));

} // namespace
