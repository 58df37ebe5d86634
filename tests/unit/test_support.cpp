#include "test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {

std::vector<std::uint8_t> makeFPictureBgra(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> bgra(std::size_t{width} * height * 4);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* p = &bgra[(std::size_t{y} * width + x) * 4];
            // F: a vertical bar on the left third, a full top arm, a shorter middle arm.
            const bool bar = x >= width / 5 && x < width / 5 + (width + 4) / 5;
            const bool top =
                y >= height / 6 && y < height / 6 + (height + 5) / 6 && x >= width / 5 && x < width * 4 / 5;
            const bool middle =
                y >= height / 2 && y < height / 2 + (height + 7) / 8 && x >= width / 5 && x < width * 3 / 5;
            const bool inF = bar && y >= height / 6 && y < height * 5 / 6;
            const auto shade = static_cast<std::uint8_t>((x * 31 + y * 17) % 40);
            if (inF || top || middle) {
                p[0] = shade, p[1] = static_cast<std::uint8_t>(20 + shade / 2), p[2] = 230;
            } else {
                p[0] = static_cast<std::uint8_t>(200 + shade / 2), p[1] = static_cast<std::uint8_t>(40 + shade),
                p[2] = 10;
            }
            p[3] = static_cast<std::uint8_t>(255 - (x + 3 * y) % 7);
        }
    }
    if (width > 0 && height > 0) {
        std::uint8_t* first = &bgra[0];
        first[0] = first[1] = first[2] = 255;
        std::uint8_t* last = &bgra[bgra.size() - 4];
        last[0] = 0, last[1] = 255, last[2] = 0;
    }
    return bgra;
}

std::vector<std::uint8_t> noiseBytes(std::size_t count, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t state = seed * 2654435761u + 1u;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("orvane-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path goldenDir() { return ORVANE_GOLDEN_DIR; }
std::filesystem::path corpusDir() { return ORVANE_CORPUS_DIR; }

// From the environment, so that choosing another folder rebuilds nothing.
std::filesystem::path extraCorpusDir() {
    const char* folder = std::getenv("ORVANE_EXTRA_CORPUS");
    return folder ? folder : "";
}

std::vector<std::filesystem::path> extraCorpusPictures() {
    std::vector<std::filesystem::path> pictures;
    if (extraCorpusDir().empty())
        return pictures;
    for (const auto& entry : std::filesystem::directory_iterator(extraCorpusDir()))
        if (entry.path().extension() == ".png")
            pictures.push_back(entry.path());
    std::sort(pictures.begin(), pictures.end());
    return pictures;
}

} // namespace testing_support
