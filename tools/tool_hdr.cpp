// orvane-tool hdr-table NITS: the tone tables for one SDR white level, one
// line per half-float code 0x0000..0x7C00: code, linear, gain, and the B G R
// bytes of a grey pixel of that code. Floats print with 9 significant digits,
// enough to give back the exact single-precision value. The output is the
// same bytes in both builds: no CR LF line ends on Windows.
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "capture/capture.h"
#include "tool_commands.h"

int runHdrTableCommand(int argc, char** argv) {
    if (argc != 1)
        return toolUsageError;
    char* end = nullptr;
    const float nits = std::strtof(argv[0], &end);
    if (end == argv[0] || *end != '\0' || !isUsableWhiteNits(nits))
        return toolUsageError;
    const std::unique_ptr<HdrToneTable> table = createHdrToneTable(nits);
    if (!table) {
        std::fputs("orvane-tool: out of memory\n", stderr);
        return toolInputError;
    }
#ifdef _WIN32
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    for (std::uint32_t code = 0; code < hdrToneCodeCount; ++code) {
        const auto half = static_cast<std::uint16_t>(code);
        std::uint8_t bgra[4];
        convertHdrPixel(*table, half, half, half, bgra);
        std::printf("0x%04X %.9g %.9g %u %u %u\n", static_cast<unsigned>(code),
                    static_cast<double>(table->linear[code]), static_cast<double>(table->gain[code]), unsigned{bgra[0]},
                    unsigned{bgra[1]}, unsigned{bgra[2]});
    }
    return std::fflush(stdout) == 0 ? 0 : toolInputError;
}
