// Replacing an image that another program holds open, under Wine's real
// sharing rules: the older file is never lost.
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output/output.h"

namespace fs = std::filesystem;

namespace {

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Catches a replace that deletes the target before moving the new file in:
// with the target held open (a viewer, a scanner) the delete is only pending,
// the move fails, and once the holder lets go both files are gone.
TEST(SaveReplace, ATargetHeldOpenKeepsItsOldFileOrTakesTheNewOneWhole) {
    static std::atomic<unsigned> counter{0};
    const fs::path folder = fs::temp_directory_path() / ("orvane-replace-" + std::to_string(GetCurrentProcessId()) +
                                                         "-" + std::to_string(counter++));
    fs::create_directories(folder);
    const std::string target = (folder / "held.png").string();
    const std::vector<std::uint8_t> pixels(4 * 4 * 4, 0x80);
    const std::string old = "an older picture";
    for (const DWORD sharing :
         {DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE), DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)}) {
        std::ofstream(target, std::ios::binary | std::ios::trunc) << old;
        const HANDLE held =
            CreateFileA(target.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const bool saved = saveImage(target.c_str(), pixels.data(), 4, 4, pngFormat, true);
        CloseHandle(held);
        const std::string now = readBytes(target);
        if (saved) {
            EXPECT_EQ(now.substr(0, 4), "\x89PNG") << "sharing " << sharing;
        } else {
            EXPECT_EQ(now, old) << "sharing " << sharing << ": the failed save lost the older file";
        }
        if (!(sharing & FILE_SHARE_DELETE)) {
            EXPECT_FALSE(saved) << "a file held without delete sharing cannot be replaced";
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << "sharing " << sharing;
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

} // namespace
