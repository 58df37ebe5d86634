// Runs the JPEG writer into memory for the tests.
#pragma once

#include <cstdint>
#include <vector>

std::vector<std::uint8_t> encodeJpegToMemory(const std::vector<std::uint8_t>& rgb, std::uint32_t width,
                                             std::uint32_t height, const char* comment = "Captured with Lumagrab");

// Top-down BGRA to packed RGB.
std::vector<std::uint8_t> bgraToRgb(const std::vector<std::uint8_t>& bgra);
