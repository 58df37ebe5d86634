// A small independent reader of baseline JPEG files for the tests: splits the
// segments and decodes the entropy-coded data back into per-block symbols,
// using only the tables written in the file itself.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace jpeg_inspect {

struct Segment {
    std::uint8_t marker;               // the byte after FF
    std::vector<std::uint8_t> payload; // without the length field
};

struct BlockSymbols {
    int dcCategory = 0;
    int dcDiff = 0;
    std::vector<std::uint8_t> acSymbols; // run/size bytes in order (F0 = ZRL, 00 = EOB)
    std::vector<int> acValues;           // one per non-ZRL, non-EOB symbol
    int coefficients[64] = {};           // zig-zag order, quantised, DC as the running value
};

struct ParsedJpeg {
    std::vector<Segment> headers;      // SOI excluded, up to and including SOS
    std::vector<std::uint8_t> entropy; // raw, still byte-stuffed
    bool endsWithEoi = false;
    std::vector<BlockSymbols> blocks; // Y, Cb, Cr per MCU, in scan order
    int paddingBits = -1;             // bits left after the last block
    bool paddingAllOnes = false;
    std::string error; // empty when everything decoded
};

ParsedJpeg parse(const std::vector<std::uint8_t>& file);

const Segment* find(const ParsedJpeg& jpeg, std::uint8_t marker);

} // namespace jpeg_inspect
