// Baseline JPEG as ITU-T T.81 and JFIF define it, written from those
// documents alone so that a fault in the writer cannot hide here: the
// real-valued DCT of A.3.3, the Annex K tables, the code generation of Annex C
// and the coding procedures of F.1.2. Slow on purpose; the tests only.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace jpeg_reference {

// Quantised coefficients of one block in zig-zag order, the DC as its value.
using Block = std::array<int, 64>;

// Row-major index of the k-th coefficient in zig-zag order (Figure A.6).
const std::array<int, 64>& zigZag();

// The quality-90 quantisation table of component 0 (Y) or 1 and 2 (Cb, Cr),
// in zig-zag order as DQT carries it.
const std::array<std::uint8_t, 64>& quantisation(int component);

// Every block of a packed RGB picture in scan order (Y, Cb, Cr per 8 x 8 MCU),
// edge blocks repeating the last column and row.
std::vector<Block> quantisedBlocks(const std::uint8_t* rgb, std::uint32_t width, std::uint32_t height);

// The whole file for those blocks: SOI, JFIF APP0, COM when given, DQT, SOF0,
// one DHT with the four Annex K tables, SOS, the coded data, EOI.
std::vector<std::uint8_t> encodeFile(const std::vector<Block>& blocks, std::uint16_t width, std::uint16_t height,
                                     const char* comment);

} // namespace jpeg_reference
