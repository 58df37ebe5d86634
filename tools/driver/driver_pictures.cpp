// The user-level driver: screen pictures and image files; see driver.h.
#include "driver.h"

#include <wincodec.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <cstring>
#include <string>
#include <vector>

#include <lodepng.h>

namespace driver {

// --- pictures -----------------------------------------------------------------------------------------------

Screenshot Screenshot::crop(const RECT& rect) const {
    Screenshot part;
    const LONG left = std::max<LONG>(rect.left - origin.x, 0), top = std::max<LONG>(rect.top - origin.y, 0);
    const LONG right = std::min<LONG>(rect.right - origin.x, width);
    const LONG bottom = std::min<LONG>(rect.bottom - origin.y, height);
    if (right <= left || bottom <= top)
        return part;
    part.width = right - left;
    part.height = bottom - top;
    part.bgra.resize(static_cast<std::size_t>(part.width) * part.height * 4);
    for (int y = 0; y < part.height; ++y)
        std::copy_n(&bgra[(static_cast<std::size_t>(top + y) * width + left) * 4],
                    static_cast<std::size_t>(part.width) * 4, &part.bgra[static_cast<std::size_t>(y) * part.width * 4]);
    return part;
}

bool Screenshot::sameColours(const Screenshot& other) const {
    if (width != other.width || height != other.height || bgra.size() != other.bgra.size())
        return false;
    for (std::size_t i = 0; i + 3 < bgra.size(); i += 4)
        if (bgra[i] != other.bgra[i] || bgra[i + 1] != other.bgra[i + 1] || bgra[i + 2] != other.bgra[i + 2])
            return false;
    return true;
}

COLORREF screenPixel(POINT at) {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

Screenshot testPicture(int width, int height, int variant) {
    Screenshot picture;
    picture.width = width;
    picture.height = height;
    picture.bgra.resize(static_cast<std::size_t>(width) * height * 4);
    const auto shade = [&](int value) { return static_cast<std::uint8_t>((value + variant * 97) & 0xFF); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &picture.bgra[(static_cast<std::size_t>(y) * width + x) * 4];
            // Blue ground with a little texture, so neighbouring pixels differ.
            std::uint8_t blue = shade(200 + (x * 7 + y * 3) % 40), green = shade(40 + (x + y) % 16), red = shade(30);
            const int u = x * 10 / width, v = y * 10 / height;
            const bool stem = u >= 2 && u <= 3 && v >= 1 && v <= 8;
            const bool top = v == 1 && u >= 2 && u <= 7;
            const bool middle = v == 4 && u >= 2 && u <= 5;
            if (stem || top || middle)
                blue = shade(20), green = shade(10), red = shade(230);
            if (v == 9)
                blue = shade(0), green = shade(220), red = shade(0);
            if (u >= 8 && v <= 2)
                blue = shade(x * 255 / width), green = shade(y * 255 / height), red = shade(128);
            p[0] = blue;
            p[1] = green;
            p[2] = red;
            p[3] = 255;
        }
    return picture;
}

// --- image files -----------------------------------------------------------------------------------------------

namespace {

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename T> T readAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    T value{};
    if (offset + sizeof(T) <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

Screenshot decodeBmp(const std::vector<std::uint8_t>& file) {
    Screenshot picture;
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M')
        return picture;
    const auto dataOffset = readAt<std::uint32_t>(file, 10);
    const auto width = readAt<std::int32_t>(file, 18);
    const auto height = readAt<std::int32_t>(file, 22);
    const auto bits = readAt<std::uint16_t>(file, 28);
    if (width <= 0 || height == 0 || (bits != 24 && bits != 32))
        return picture;
    const int rows = std::abs(height);
    const std::size_t stride = (static_cast<std::size_t>(width) * bits / 8 + 3) / 4 * 4;
    if (dataOffset + stride * rows > file.size())
        return picture;
    picture.width = width;
    picture.height = rows;
    picture.bgra.resize(static_cast<std::size_t>(width) * rows * 4);
    for (int y = 0; y < rows; ++y) {
        const int fileRow = height > 0 ? rows - 1 - y : y;
        const std::uint8_t* source = &file[dataOffset + stride * fileRow];
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &picture.bgra[(static_cast<std::size_t>(y) * width + x) * 4];
            std::copy_n(source + static_cast<std::size_t>(x) * bits / 8, 3, p);
            p[3] = 255;
        }
    }
    return picture;
}

Screenshot decodePng(const std::vector<std::uint8_t>& file) {
    Screenshot picture;
    std::vector<unsigned char> rgba;
    unsigned width = 0, height = 0;
    if (lodepng::decode(rgba, width, height, file) != 0)
        return picture;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    picture.bgra.resize(rgba.size());
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
        picture.bgra[i] = rgba[i + 2];
        picture.bgra[i + 1] = rgba[i + 1];
        picture.bgra[i + 2] = rgba[i];
        picture.bgra[i + 3] = rgba[i + 3];
    }
    return picture;
}

template <typename T> void releaseCom(T*& pointer) {
    if (pointer)
        pointer->Release();
    pointer = nullptr;
}

Screenshot decodeWithImaging(const std::string& path) {
    Screenshot picture;
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    const std::wstring widePath(path.begin(), path.end());
    UINT width = 0, height = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                                   reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateDecoderFromFilename(widePath.c_str(), nullptr, GENERIC_READ,
                                                     WICDecodeMetadataCacheOnDemand, &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
        SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                        WICBitmapPaletteTypeCustom)) &&
        SUCCEEDED(converter->GetSize(&width, &height))) {
        std::vector<std::uint8_t> bgra(static_cast<std::size_t>(width) * height * 4);
        if (SUCCEEDED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(bgra.size()), bgra.data()))) {
            picture.width = static_cast<int>(width);
            picture.height = static_cast<int>(height);
            picture.bgra = std::move(bgra);
        }
    }
    releaseCom(converter);
    releaseCom(frame);
    releaseCom(decoder);
    releaseCom(factory);
    if (SUCCEEDED(initialised))
        CoUninitialize();
    return picture;
}

} // namespace

Screenshot decodeImageFile(const std::string& path) {
    const std::vector<std::uint8_t> file = readBytes(path);
    if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M')
        return decodeBmp(file);
    if (file.size() >= 8 && file[0] == 0x89 && file[1] == 'P')
        return decodePng(file);
    if (file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8)
        return decodeWithImaging(path);
    return {};
}

Screenshot dimmed(const Screenshot& picture, int percent) {
    Screenshot darker = picture;
    for (std::size_t i = 0; i < darker.bgra.size(); ++i)
        if (i % 4 != 3)
            darker.bgra[i] = static_cast<std::uint8_t>(darker.bgra[i] * percent / 100);
    return darker;
}

} // namespace driver
