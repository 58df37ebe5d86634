// The entropy-coded segment of the JPEG writer: the MCU walk with edge
// replication, the per-MCU transform and the Huffman coder. The coder is
// compiled twice, for the baseline instruction set and with BMI1 + BMI2, and
// chosen at run time; every pairing of transform and coder gives the same bytes.
#pragma once

#include <cstdint>

#include "output/jpeg_kernels.h"
#include "output/output.h"

// By symbol: its Huffman code shifted left by the symbol's size (the low four
// bits of a symbol are the size of the additional bits that follow), and the
// code length plus that size, so that a code and its bits go out as one.
// Length 0 for symbols the table does not define.
struct JpegSymbolTable {
    std::uint32_t code[256];
    std::uint8_t length[256];
};

struct JpegScanTables {
    float luminanceDivisors[64]; // row-major quantisation multipliers
    float chrominanceDivisors[64];
    JpegSymbolTable luminanceDc, luminanceAc, chrominanceDc, chrominanceAc;
};

// Where the scan reads packed RGB rows (3 x width bytes apart): the whole
// image at `pixels`, or, when that is null, `convert`, which the scan calls
// for each band of eight rows in turn (fewer at the bottom) and which returns
// rows first .. first + count - 1, valid until its next call. So a caller can
// convert its pixels band by band instead of all at once.
struct JpegRowSource {
    const std::uint8_t* pixels = nullptr;
    const std::uint8_t* (*convert)(void* context, std::uint32_t first, std::uint32_t count) = nullptr;
    void* context = nullptr;
};

// Writes the MCUs of the whole image through the sink, padded to a whole byte.
using EncodeJpegScan = void (*)(JpegByteSink sink, const JpegRowSource& source, std::uint16_t width,
                                std::uint16_t height, TransformMcu transform, const JpegScanTables& tables);

void encodeJpegScanPortable(JpegByteSink sink, const JpegRowSource& source, std::uint16_t width, std::uint16_t height,
                            TransformMcu transform, const JpegScanTables& tables);
#if defined(__x86_64__) || defined(__i386__)
void encodeJpegScanBmi2(JpegByteSink sink, const JpegRowSource& source, std::uint16_t width, std::uint16_t height,
                        TransformMcu transform, const JpegScanTables& tables);
#endif

// The fastest coder this processor runs.
EncodeJpegScan selectEncodeJpegScan();

// encodeJpeg with the given transform and coder, so that tests reach every variant.
bool encodeJpegWith(TransformMcu transform, EncodeJpegScan scan, JpegByteSink sink, const JpegRowSource& source,
                    std::uint16_t width, std::uint16_t height, int quality, const char* comment);

// encodeJpeg reading its rows from `source`.
bool encodeJpegRows(JpegByteSink sink, const JpegRowSource& source, std::uint16_t width, std::uint16_t height,
                    int quality, const char* comment);
