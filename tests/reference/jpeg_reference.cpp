// The direct JPEG writer, kept as the reference that the fast writer must
// match byte for byte: one block at a time, a table per step, no SIMD. Every
// float operation is written in the order the output depends on.
#include <algorithm>
#include <cstring>

#include "output/jpeg_tables.h"
#include "jpeg_reference.h"

namespace {

struct VarCode {
    std::uint16_t code;
    std::uint8_t length;
};

// Unsigned, so that shifting old bits out of the top is defined; those bits
// have already been emitted.
struct BitPacker {
    JpegByteSink sink;
    std::uint32_t accumulator;
    std::uint8_t pending;
};

constexpr int amplitudeLimit = 2047;
using AmplitudeTable = VarCode[2 * amplitudeLimit + 1]; // index v + 2047
using HuffmanTable = VarCode[256];

void append(BitPacker& bits, VarCode value) {
    bits.pending = static_cast<std::uint8_t>(bits.pending + value.length);
    bits.accumulator = (bits.accumulator << value.length) | value.code;
    while (bits.pending >= 8) {
        bits.pending = static_cast<std::uint8_t>(bits.pending - 8);
        const auto byte = static_cast<std::uint8_t>(bits.accumulator >> bits.pending);
        bits.sink(byte);
        if (byte == 0xFF)
            bits.sink(0x00); // T.81 F.1.2.3 byte stuffing
    }
}

void putBytes(JpegByteSink sink, std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t b : bytes)
        sink(b);
}

void putBytes(JpegByteSink sink, const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        sink(bytes[i]);
}

void put16(JpegByteSink sink, std::uint32_t value) {
    sink(static_cast<std::uint8_t>(value >> 8));
    sink(static_cast<std::uint8_t>(value));
}

void buildAmplitudeCodes(AmplitudeTable& table) {
    table[amplitudeLimit] = {0, 0};
    std::uint32_t mask = 1;
    std::uint8_t length = 1;
    for (std::uint32_t v = 1; v <= amplitudeLimit; ++v) {
        if (v > mask) {
            mask = 2 * mask + 1;
            ++length;
        }
        table[amplitudeLimit + v] = {static_cast<std::uint16_t>(v), length};
        table[amplitudeLimit - v] = {static_cast<std::uint16_t>(mask - v), length};
    }
}

// Canonical codes of T.81 Annex C.
void buildHuffmanLookup(HuffmanTable& table, const std::uint8_t* counts, const std::uint8_t* values) {
    std::uint32_t code = 0;
    std::size_t next = 0;
    for (std::uint8_t length = 1; length <= 16; ++length) {
        for (std::uint32_t i = 0; i < counts[length - 1]; ++i)
            table[values[next++]] = {static_cast<std::uint16_t>(code++), length};
        code *= 2;
    }
}

// One-dimensional AAN scaled DCT over d[0], d[step], ..., d[7 * step].
void forwardDct8(float* d, int step) {
    float* p0 = d;
    float* p1 = d + step;
    float* p2 = d + 2 * step;
    float* p3 = d + 3 * step;
    float* p4 = d + 4 * step;
    float* p5 = d + 5 * step;
    float* p6 = d + 6 * step;
    float* p7 = d + 7 * step;

    const float t0 = *p0 + *p7, t7 = *p0 - *p7;
    const float t1 = *p1 + *p6, t6 = *p1 - *p6;
    const float t2 = *p2 + *p5, t5 = *p2 - *p5;
    const float t3 = *p3 + *p4, t4 = *p3 - *p4;

    const float t10 = t0 + t3, t13 = t0 - t3;
    const float t11 = t1 + t2, t12 = t1 - t2;
    *p0 = t10 + t11;
    *p4 = t10 - t11;
    const float z1 = (t12 + t13) * 0.70710677f;
    *p2 = t13 + z1;
    *p6 = t13 - z1;

    const float p = t4 + t5, q = t5 + t6, r = t6 + t7;
    const float z5 = (p - r) * 0.38268343f;
    const float z2 = (p * 0.5411961f) + z5;
    const float z4 = (r * 1.306563f) + z5;
    const float z3 = q * 0.70710677f;
    const float z11 = t7 + z3, z13 = t7 - z3;
    *p5 = z13 + z2;
    *p3 = z13 - z2;
    *p1 = z11 + z4;
    *p7 = z11 - z4;
}

std::int16_t roundHalfAway(float value) {
    return static_cast<std::int16_t>(value >= 0.0f ? static_cast<int>(value + 0.5f) : static_cast<int>(value - 0.5f));
}

struct ComponentCoder {
    const float* divisors;
    const HuffmanTable* dcTable;
    const HuffmanTable* acTable;
    std::int16_t predictor;
};

void encodeDataUnit(BitPacker& bits, float* block, ComponentCoder& coder, const AmplitudeTable& amplitude) {
    for (int row = 0; row < 8; ++row)
        forwardDct8(block + row * 8, 1);
    for (int column = 0; column < 8; ++column)
        forwardDct8(block + column, 8);
    for (int i = 0; i < 64; ++i)
        block[i] = block[i] * coder.divisors[i];

    const std::int16_t dc = roundHalfAway(block[0]);
    std::int16_t ac[64] = {};
    int last = 0;
    for (int i = 1; i < 64; ++i) {
        ac[i] = roundHalfAway(block[jpeg::zigZag[i]]);
        if (ac[i] != 0)
            last = i;
    }

    const HuffmanTable& dcTable = *coder.dcTable;
    const HuffmanTable& acTable = *coder.acTable;
    const int diff = dc - coder.predictor;
    if (diff == 0) {
        append(bits, dcTable[0]);
    } else {
        const VarCode bitsOfDiff = amplitude[amplitudeLimit + diff];
        append(bits, dcTable[bitsOfDiff.length]);
        append(bits, bitsOfDiff);
    }

    int runOffset = 0; // zero run, already shifted into the high nibble
    for (int i = 1; i <= last; ++i) {
        if (ac[i] == 0) {
            runOffset += 16;
            if (runOffset > 240) {
                append(bits, acTable[0xF0]); // ZRL: sixteen zeros
                runOffset = 0;
            }
            continue;
        }
        const VarCode bitsOfValue = amplitude[amplitudeLimit + ac[i]];
        append(bits, acTable[runOffset + bitsOfValue.length]);
        append(bits, bitsOfValue);
        runOffset = 0;
    }
    if (last < 63)
        append(bits, acTable[0x00]); // EOB
    coder.predictor = dc;
}

void makeQuantTables(int quality, std::uint8_t (&luminance)[64], std::uint8_t (&chrominance)[64]) {
    quality = std::clamp(quality, 1, 100);
    const int scale = quality < 50 ? 5000 / quality : 200 - quality * 2; // 20 at quality 90
    for (int i = 0; i < 64; ++i) {
        const int n = jpeg::zigZag[i];
        luminance[i] = static_cast<std::uint8_t>(std::clamp((jpeg::baseLuminanceQuant[n] * scale + 50) / 100, 1, 255));
        chrominance[i] =
            static_cast<std::uint8_t>(std::clamp((jpeg::baseChrominanceQuant[n] * scale + 50) / 100, 1, 255));
    }
}

void makeDivisors(const std::uint8_t (&quant)[64], float (&divisors)[64]) {
    for (int i = 0; i < 64; ++i) {
        const int n = jpeg::zigZag[i];
        const float base = 1.0f / ((jpeg::dctScale[n / 8] * jpeg::dctScale[n % 8]) * 8.0f);
        divisors[n] = base / static_cast<float>(quant[i]);
    }
}

void writeHeaders(JpegByteSink sink, std::uint16_t width, std::uint16_t height, const char* comment,
                  const std::uint8_t (&luminance)[64], const std::uint8_t (&chrominance)[64]) {
    putBytes(sink, {0xFF, 0xD8});
    putBytes(sink,
             {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00});
    if (comment) {
        const std::size_t length = std::strlen(comment);
        putBytes(sink, {0xFF, 0xFE});
        put16(sink, static_cast<std::uint32_t>(2 + length));
        putBytes(sink, reinterpret_cast<const std::uint8_t*>(comment), length);
    }
    putBytes(sink, {0xFF, 0xDB, 0x00, 0x84, 0x00});
    putBytes(sink, luminance, 64);
    sink(0x01);
    putBytes(sink, chrominance, 64);

    putBytes(sink, {0xFF, 0xC0, 0x00, 0x11, 0x08});
    put16(sink, height);
    put16(sink, width);
    putBytes(sink, {0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01});

    putBytes(sink, {0xFF, 0xC4, 0x01, 0xA2, 0x00});
    putBytes(sink, jpeg::luminanceDcCounts, 16);
    putBytes(sink, jpeg::luminanceDcValues, 12);
    sink(0x10);
    putBytes(sink, jpeg::luminanceAcCounts, 16);
    putBytes(sink, jpeg::luminanceAcValues, 162);
    sink(0x01);
    putBytes(sink, jpeg::chrominanceDcCounts, 16);
    putBytes(sink, jpeg::chrominanceDcValues, 12);
    sink(0x11);
    putBytes(sink, jpeg::chrominanceAcCounts, 16);
    putBytes(sink, jpeg::chrominanceAcValues, 162);

    putBytes(sink, {0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00});
}

} // namespace

bool encodeJpegReference(JpegByteSink sink, const std::uint8_t* pixels, std::uint16_t width, std::uint16_t height,
                         bool /*colour*/, int quality, bool /*downsample*/, const char* comment) {
    if (!pixels || width == 0 || height == 0)
        return false;
    // A longer comment cannot be described by the 16-bit segment length.
    if (comment && std::strlen(comment) >= 65534)
        comment = nullptr;

    std::uint8_t luminance[64], chrominance[64];
    makeQuantTables(quality, luminance, chrominance);
    float luminanceDivisors[64], chrominanceDivisors[64];
    makeDivisors(luminance, luminanceDivisors);
    makeDivisors(chrominance, chrominanceDivisors);

    AmplitudeTable amplitude;
    buildAmplitudeCodes(amplitude);
    HuffmanTable luminanceDc{}, luminanceAc{}, chrominanceDc{}, chrominanceAc{};
    buildHuffmanLookup(luminanceDc, jpeg::luminanceDcCounts, jpeg::luminanceDcValues);
    buildHuffmanLookup(luminanceAc, jpeg::luminanceAcCounts, jpeg::luminanceAcValues);
    buildHuffmanLookup(chrominanceDc, jpeg::chrominanceDcCounts, jpeg::chrominanceDcValues);
    buildHuffmanLookup(chrominanceAc, jpeg::chrominanceAcCounts, jpeg::chrominanceAcValues);

    writeHeaders(sink, width, height, comment, luminance, chrominance);

    BitPacker bits{sink, 0, 0};
    ComponentCoder y{luminanceDivisors, &luminanceDc, &luminanceAc, 0};
    ComponentCoder cb{chrominanceDivisors, &chrominanceDc, &chrominanceAc, 0};
    ComponentCoder cr{chrominanceDivisors, &chrominanceDc, &chrominanceAc, 0};
    float yBlock[64], cbBlock[64], crBlock[64];
    const std::size_t stride = std::size_t{width} * 3;

    for (std::uint32_t mcuY = 0; mcuY < height; mcuY += 8) {
        for (std::uint32_t mcuX = 0; mcuX < width; mcuX += 8) {
            for (std::uint32_t deltaY = 0; deltaY < 8; ++deltaY) {
                // Blocks past the right or bottom edge repeat the last column and row.
                const std::uint32_t row = std::min<std::uint32_t>(mcuY + deltaY, height - 1u);
                for (std::uint32_t deltaX = 0; deltaX < 8; ++deltaX) {
                    const std::uint32_t column = std::min<std::uint32_t>(mcuX + deltaX, width - 1u);
                    const std::uint8_t* p = pixels + row * stride + column * 3;
                    const float r = p[0], g = p[1], b = p[2];
                    const std::size_t at = deltaY * 8 + deltaX;
                    yBlock[at] = (((0.587f * g) + (0.299f * r)) + (0.114f * b)) - 128.0f;
                    cbBlock[at] = ((-0.16874f * r) - (0.33126f * g)) + (0.5f * b);
                    crBlock[at] = ((0.5f * r) - (0.41869f * g)) - (0.08131f * b);
                }
            }
            encodeDataUnit(bits, yBlock, y, amplitude);
            encodeDataUnit(bits, cbBlock, cb, amplitude);
            encodeDataUnit(bits, crBlock, cr, amplitude);
        }
    }

    append(bits, {0x7F, 7}); // pad the last byte with 1-bits
    putBytes(sink, {0xFF, 0xD9});
    return true;
}
