// The JPEG coder for the baseline instruction set, and the choice of coder.
#include "output/jpeg_scan.inc"

void encodeJpegScanPortable(JpegByteSink sink, const JpegRowSource& source, std::uint16_t width, std::uint16_t height,
                            TransformMcu transform, const JpegScanTables& tables) {
    encodeScan(sink, source, width, height, transform, tables);
}

EncodeJpegScan selectEncodeJpegScan() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2"))
        return encodeJpegScanBmi2;
#endif
    return encodeJpegScanPortable;
}
