// The JPEG coder compiled with -mbmi -mbmi2: tzcnt and blsr walk the non-zero
// coefficients, bzhi masks the additional bits, shlx shifts without tying up cl.
#include "output/jpeg_scan.inc"

void encodeJpegScanBmi2(JpegByteSink sink, const JpegRowSource& source, std::uint16_t width, std::uint16_t height,
                        TransformMcu transform, const JpegScanTables& tables) {
    encodeScan(sink, source, width, height, transform, tables);
}
