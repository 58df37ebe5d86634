// Byte-exact reference files for the JPEG writer, shared by the native and the
// Windows build. ORVANE_UPDATE_GOLDEN=1 rewrites them (only after a reviewed
// change of the output).
#include <cstdlib>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "image_file.h"
#include "jpeg_memory.h"
#include "test_support.h"

using namespace testing_support;

namespace {

struct GoldenCase {
    const char* name;
    std::function<LoadedImage()> make;
};

LoadedImage synthetic(std::uint32_t width, std::uint32_t height, bool noise) {
    LoadedImage image;
    image.width = width;
    image.height = height;
    image.bgra =
        noise ? noiseBytes(std::size_t{width} * height * 4, width * 131 + height) : makeFPictureBgra(width, height);
    return image;
}

LoadedImage corpus(const char* name) {
    LoadedImage image;
    std::string error;
    if (!readImageFile((extraCorpusDir() / name).string(), image, error))
        ADD_FAILURE() << error;
    return image;
}

class JpegGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(JpegGolden, OutputIsByteIdenticalToTheReferenceFile) {
    const GoldenCase& c = GetParam();
    const LoadedImage image = c.make();
    ASSERT_FALSE(image.bgra.empty());
    const auto bytes = encodeJpegToMemory(bgraToRgb(image.bgra), image.width, image.height);
    const auto golden = goldenDir() / (std::string(c.name) + ".jpg");
    if (const char* update = std::getenv("ORVANE_UPDATE_GOLDEN"); update && std::string(update) == "1")
        writeFileBytes(golden, bytes);
    const auto expected = readFileBytes(golden);
    ASSERT_EQ(bytes.size(), expected.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        ASSERT_EQ(bytes[i], expected[i]) << "first difference at byte " << i;
}

// The desktop's golden file was made from the shared corpus picture: it is
// compared only when that folder is given (ORVANE_CORPUS); the pictures the
// build makes are checked against the JPEG reference instead.
std::vector<GoldenCase> goldenCases() {
    std::vector<GoldenCase> cases{GoldenCase{"f_64x48", [] { return synthetic(64, 48, false); }},
                                  GoldenCase{"f_37x21", [] { return synthetic(37, 21, false); }},
                                  GoldenCase{"noise_1x1", [] { return synthetic(1, 1, true); }},
                                  GoldenCase{"noise_9x9", [] { return synthetic(9, 9, true); }},
                                  GoldenCase{"noise_61x37", [] { return synthetic(61, 37, true); }}};
    if (!extraCorpusDir().empty() && std::filesystem::exists(extraCorpusDir() / "desktop_1920x1080.png"))
        cases.push_back(GoldenCase{"desktop_1920x1080", [] { return corpus("desktop_1920x1080.png"); }});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Pictures, JpegGolden, ::testing::ValuesIn(goldenCases()),
                         [](const ::testing::TestParamInfo<GoldenCase>& param) {
                             return std::string(param.param.name);
                         });

} // namespace
