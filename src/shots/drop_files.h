// The drop-file block a drag hands out: a DROPFILES header (20 bytes) and a
// one-file ANSI list, laid out byte by byte so that it needs no Win32 header.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// 20-byte header (list offset 20, cursor x and y, non-client flag 1, wide
// flag 0; little-endian), the path and its zero, and the zero that ends the
// list: path.size() + 22 bytes.
std::vector<std::uint8_t> dropFileBlock(std::string_view path, std::int32_t cursorX, std::int32_t cursorY);
