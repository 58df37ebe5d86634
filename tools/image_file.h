// Reading developer input images (binary PPM or PNG) into top-down BGRA, the
// layout screenshots and save jobs use. Shared by the tool, tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LoadedImage {
    std::vector<std::uint8_t> bgra; // top-down, 4 bytes per pixel
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// PPM (P6, maxval 255) gets alpha 255; PNG keeps its own alpha. On failure
// returns false and puts a one-line reason in `error`.
bool readImageFile(const std::string& path, LoadedImage& image, std::string& error);

// The same image as packed RGB, the JPEG writer's input.
std::vector<std::uint8_t> toRgb(const LoadedImage& image);
