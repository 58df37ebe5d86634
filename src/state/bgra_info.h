// The header of a 32-bit BGRA picture without colour table, as GDI wants it
// for DIB sections and for drawing straight from pixels.
#pragma once

#include <windows.h>

#include <cstdint>

// `height` > 0: rows bottom-up; < 0: top-down.
inline BITMAPINFO bgraInfo(std::int32_t width, std::int32_t height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}
