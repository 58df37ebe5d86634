#include "image_file.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <lodepng.h>

namespace {

bool readWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// One header number of a PPM, skipping white space and '#' comments.
bool readPpmNumber(const std::vector<std::uint8_t>& bytes, std::size_t& at, std::uint32_t& value) {
    for (;;) {
        while (at < bytes.size() && std::isspace(bytes[at]))
            ++at;
        if (at < bytes.size() && bytes[at] == '#') {
            while (at < bytes.size() && bytes[at] != '\n')
                ++at;
            continue;
        }
        break;
    }
    std::uint64_t number = 0;
    const std::size_t start = at;
    while (at < bytes.size() && std::isdigit(bytes[at]) && number <= 0xFFFFFFFFu)
        number = number * 10 + static_cast<std::uint64_t>(bytes[at++] - '0');
    if (at == start || number > 0xFFFFFFFFu)
        return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}

bool decodePpm(const std::vector<std::uint8_t>& bytes, LoadedImage& image, std::string& error) {
    std::size_t at = 2;
    std::uint32_t maxValue = 0;
    if (!readPpmNumber(bytes, at, image.width) || !readPpmNumber(bytes, at, image.height) ||
        !readPpmNumber(bytes, at, maxValue) || at >= bytes.size() || !std::isspace(bytes[at])) {
        error = "bad PPM header";
        return false;
    }
    ++at;
    if (maxValue != 255) {
        error = "only 8-bit PPM (maxval 255) is supported";
        return false;
    }
    const std::uint64_t pixels = std::uint64_t{image.width} * image.height;
    if (pixels > (bytes.size() - at) / 3) {
        error = "PPM pixel data is truncated";
        return false;
    }
    image.bgra.resize(pixels * 4);
    for (std::uint64_t i = 0; i < pixels; ++i, at += 3) {
        image.bgra[i * 4 + 0] = bytes[at + 2];
        image.bgra[i * 4 + 1] = bytes[at + 1];
        image.bgra[i * 4 + 2] = bytes[at + 0];
        image.bgra[i * 4 + 3] = 255;
    }
    return true;
}

bool decodePng(const std::vector<std::uint8_t>& bytes, LoadedImage& image, std::string& error) {
    unsigned width = 0, height = 0;
    std::vector<unsigned char> rgba;
    if (unsigned code = lodepng::decode(rgba, width, height, bytes, LCT_RGBA, 8)) {
        error = std::string("PNG: ") + lodepng_error_text(code);
        return false;
    }
    image.width = width;
    image.height = height;
    image.bgra.resize(rgba.size());
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        image.bgra[i + 0] = rgba[i + 2];
        image.bgra[i + 1] = rgba[i + 1];
        image.bgra[i + 2] = rgba[i + 0];
        image.bgra[i + 3] = rgba[i + 3];
    }
    return true;
}

} // namespace

bool readImageFile(const std::string& path, LoadedImage& image, std::string& error) {
    image = LoadedImage{};
    std::vector<std::uint8_t> bytes;
    if (!readWholeFile(path, bytes)) {
        error = "cannot read " + path;
        return false;
    }
    static const std::uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    bool ok;
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '6')
        ok = decodePpm(bytes, image, error);
    else if (bytes.size() >= 8 && std::equal(pngSignature, pngSignature + 8, bytes.begin()))
        ok = decodePng(bytes, image, error);
    else {
        error = "not a binary PPM (P6) or PNG file";
        ok = false;
    }
    if (!ok) {
        error = path + ": " + error;
        image = LoadedImage{};
    }
    return ok;
}

std::vector<std::uint8_t> toRgb(const LoadedImage& image) {
    std::vector<std::uint8_t> rgb(std::size_t{image.width} * image.height * 3);
    for (std::size_t i = 0, o = 0; o < rgb.size(); i += 4, o += 3) {
        rgb[o + 0] = image.bgra[i + 2];
        rgb[o + 1] = image.bgra[i + 1];
        rgb[o + 2] = image.bgra[i + 0];
    }
    return rgb;
}
