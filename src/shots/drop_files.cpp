// The file list a drag-out hands over, and what its outcome means for the window.
#include "shots/shot_rules.h"

namespace {

void putLe32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

std::vector<std::uint8_t> dropFileBlock(std::u16string_view path, std::int32_t cursorX, std::int32_t cursorY) {
    constexpr std::size_t headerSize = 20;
    std::vector<std::uint8_t> block(headerSize + 2 * (path.size() + 2), 0);
    putLe32(&block[0], headerSize);
    putLe32(&block[4], static_cast<std::uint32_t>(cursorX));
    putLe32(&block[8], static_cast<std::uint32_t>(cursorY));
    putLe32(&block[12], 1); // the point is in screen (non-client) coordinates
    putLe32(&block[16], 1); // UTF-16 list
    for (std::size_t i = 0; i < path.size(); ++i) {
        block[headerSize + 2 * i] = static_cast<std::uint8_t>(path[i]);
        block[headerSize + 2 * i + 1] = static_cast<std::uint8_t>(path[i] >> 8);
    }
    return block;
}

bool dragOutMovedFile(bool moveEffect, bool targetSaysMoved, bool fileStillThere) {
    return moveEffect || targetSaysMoved || !fileStillThere;
}
