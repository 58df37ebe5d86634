// Baseline sequential JPEG writer: one scan, Y Cb Cr at full resolution, fixed
// tables, every byte through a sink. This file builds the tables and writes
// the headers; the scan itself is in jpeg_scan.inc, with the transform and the
// coder in the fastest variants the processor has (all give the same bytes).
// No heap: every table lives in the call.
#include <algorithm>
#include <cstring>

#include "output/jpeg_scan.h"
#include "output/jpeg_tables.h"
#include "output/output.h"

namespace {

// Canonical codes of T.81 Annex C, by symbol; length 0 for symbols the table does not define.
struct CanonicalCodes {
    std::uint16_t code[256];
    std::uint8_t length[256];
};

CanonicalCodes buildCanonicalCodes(const std::uint8_t* counts, const std::uint8_t* values) {
    CanonicalCodes canonical{};
    std::uint32_t code = 0;
    std::size_t next = 0;
    for (std::uint8_t length = 1; length <= 16; ++length) {
        for (std::uint32_t i = 0; i < counts[length - 1]; ++i) {
            canonical.code[values[next]] = static_cast<std::uint16_t>(code++);
            canonical.length[values[next++]] = length;
        }
        code *= 2;
    }
    return canonical;
}

void buildSymbolTable(JpegSymbolTable& table, const std::uint8_t* counts, const std::uint8_t* values) {
    const CanonicalCodes canonical = buildCanonicalCodes(counts, values);
    for (unsigned symbol = 0; symbol < 256; ++symbol) {
        const unsigned size = symbol & 15u;
        table.code[symbol] = std::uint32_t{canonical.code[symbol]} << size;
        table.length[symbol] = static_cast<std::uint8_t>(canonical.length[symbol] + size);
    }
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

// Quantisation as multipliers with the AAN scale folded in, row-major.
void makeDivisors(const std::uint8_t (&quant)[64], float (&divisors)[64]) {
    for (int i = 0; i < 64; ++i) {
        const int n = jpeg::zigZag[i];
        const float base = 1.0f / ((jpeg::dctScale[n / 8] * jpeg::dctScale[n % 8]) * 8.0f);
        divisors[n] = base / static_cast<float>(quant[i]);
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

bool encodeJpegWith(TransformMcu transform, EncodeJpegScan scan, JpegByteSink sink, const JpegRowSource& source,
                    std::uint16_t width, std::uint16_t height, int quality, const char* comment) {
    if ((!source.pixels && !source.convert) || width == 0 || height == 0)
        return false;
    // A longer comment cannot be described by the 16-bit segment length.
    if (comment && std::strlen(comment) >= 65534)
        comment = nullptr;

    std::uint8_t luminance[64], chrominance[64];
    makeQuantTables(quality, luminance, chrominance);
    JpegScanTables tables;
    makeDivisors(luminance, tables.luminanceDivisors);
    makeDivisors(chrominance, tables.chrominanceDivisors);
    buildSymbolTable(tables.luminanceDc, jpeg::luminanceDcCounts, jpeg::luminanceDcValues);
    buildSymbolTable(tables.luminanceAc, jpeg::luminanceAcCounts, jpeg::luminanceAcValues);
    buildSymbolTable(tables.chrominanceDc, jpeg::chrominanceDcCounts, jpeg::chrominanceDcValues);
    buildSymbolTable(tables.chrominanceAc, jpeg::chrominanceAcCounts, jpeg::chrominanceAcValues);

    writeHeaders(sink, width, height, comment, luminance, chrominance);
    scan(sink, source, width, height, transform, tables);
    putBytes(sink, {0xFF, 0xD9});
    return true;
}

bool encodeJpegRows(JpegByteSink sink, const JpegRowSource& source, std::uint16_t width, std::uint16_t height,
                    int quality, const char* comment) {
    static const TransformMcu transform = selectTransformMcu();
    static const EncodeJpegScan scan = selectEncodeJpegScan();
    return encodeJpegWith(transform, scan, sink, source, width, height, quality, comment);
}

bool encodeJpeg(JpegByteSink sink, const std::uint8_t* pixels, std::uint16_t width, std::uint16_t height,
                bool /*colour*/, int quality, bool /*downsample*/, const char* comment) {
    JpegRowSource source;
    source.pixels = pixels;
    return encodeJpegRows(sink, source, width, height, quality, comment);
}
