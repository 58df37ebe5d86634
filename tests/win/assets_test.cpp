// The files orvane.exe reads from its folder, as the build makes them: the
// system loads each one, the cursor's hot spot is its centre and the icon
// holds every size the shell asks for.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/app.h"

namespace {

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

unsigned le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<unsigned>(b[at] | (b[at + 1] << 8));
}

TEST(Assets, TheCursorIsA32PixelCrosshairWithItsHotSpotInTheCentre) {
    const std::string path = moduleFolder() + "cursor.cur";
    const std::vector<std::uint8_t> file = readAll(path);
    ASSERT_GE(file.size(), 22u);
    EXPECT_EQ(le16(file, 2), 2u); // a cursor, not an icon
    EXPECT_EQ(le16(file, 4), 1u);
    EXPECT_EQ(file[6], 32);
    EXPECT_EQ(file[7], 32);

    HCURSOR cursor = LoadCursorFromFileA(path.c_str());
    ASSERT_NE(cursor, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 15u);
    EXPECT_EQ(info.yHotspot, 15u);
    if (info.hbmMask)
        DeleteObject(info.hbmMask);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DestroyCursor(cursor);
}

TEST(Assets, TheIconHoldsSixSizesAndLoadsAtEach) {
    const std::string path = moduleFolder() + "icon.ico";
    const std::vector<std::uint8_t> file = readAll(path);
    ASSERT_GE(file.size(), 6u);
    EXPECT_EQ(le16(file, 2), 1u);
    const unsigned count = le16(file, 4);
    ASSERT_GE(file.size(), 6u + 16u * count);
    std::set<int> sizes;
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t entry = 6 + 16 * i;
        sizes.insert(file[entry] == 0 ? 256 : file[entry]);
        EXPECT_EQ(file[entry], file[entry + 1]) << "square";
        EXPECT_EQ(le16(file, entry + 6), 32u) << "32 bits per pixel";
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 20, 24, 32, 48, 256}));

    for (int size : sizes) {
        HICON icon = static_cast<HICON>(LoadImageA(nullptr, path.c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
        EXPECT_NE(icon, nullptr) << size;
        if (icon)
            DestroyIcon(icon);
    }
    // The way start-up loads it.
    HICON icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), path.c_str(), IMAGE_ICON, 0, 0,
                                               LR_LOADFROMFILE | LR_DEFAULTSIZE | LR_SHARED));
    EXPECT_NE(icon, nullptr);
}

} // namespace
