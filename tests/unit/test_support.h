// Helpers shared by the portable tests: the asymmetric test picture, private
// temporary folders, whole-file reads and the data folders of both builds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// A red "F" on blue with a white top-left pixel and a green bottom-right one,
// plus a faint gradient: swapped channels, mirrored or flipped rows all show.
// Top-down BGRA; alpha varies so that dropping or moving it shows too.
std::vector<std::uint8_t> makeFPictureBgra(std::uint32_t width, std::uint32_t height);

// Deterministic pseudo-random bytes (the same in both builds).
std::vector<std::uint8_t> noiseBytes(std::size_t count, std::uint32_t seed);

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Narrow name of a file inside, as the save functions take it.
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::filesystem::path goldenDir();
// The pictures the build makes (tests/corpus/make_corpus.cpp).
std::filesystem::path corpusDir();
// The folder of extra pictures given as ORVANE_CORPUS (ctest passes it in the
// environment variable ORVANE_EXTRA_CORPUS); empty when none was.
std::filesystem::path extraCorpusDir();
// The PNG files in the extra folder, sorted; none when it was not given.
std::vector<std::filesystem::path> extraCorpusPictures();

} // namespace testing_support
