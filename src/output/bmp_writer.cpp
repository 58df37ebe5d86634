// 24-bit uncompressed BMP: 14-byte file header, 40-byte BITMAPINFOHEADER,
// rows bottom-up, each padded with (width mod 4) zero bytes. The file is built
// in memory and written with one call.
#include <cstring>
#include <limits>
#include <new>

#include "output/output.h"
#include "output/stdio_stream.h"

namespace {

constexpr std::size_t headerSize = 54;
constexpr std::uint32_t pixelsPerMetre = 11811; // 300 dpi

void putLe16(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void putLe32(std::uint8_t* at, std::uint32_t value) {
    putLe16(at, value & 0xFFFFu);
    putLe16(at + 2, value >> 16);
}

// The whole file in memory; null when its sizes do not fit the format or memory is short.
std::unique_ptr<std::uint8_t[]> buildBmp(std::uint32_t width, std::uint32_t height, const std::uint8_t* bgr,
                                         std::size_t& fileSize) {
    const std::size_t pixelBytes = std::size_t{width} * 3;
    const std::size_t rowSize = pixelBytes + width % 4;
    // The size fields are 32 bits: a larger file could only be corrupt.
    if (height != 0 && rowSize > (std::numeric_limits<std::uint32_t>::max() - headerSize) / height)
        return nullptr;
    fileSize = headerSize + std::size_t{height} * rowSize;

    std::unique_ptr<std::uint8_t[]> file(new (std::nothrow) std::uint8_t[fileSize]());
    if (!file)
        return nullptr;
    std::uint8_t* header = file.get();
    header[0] = 'B';
    header[1] = 'M';
    putLe32(header + 2, static_cast<std::uint32_t>(fileSize));
    putLe32(header + 10, headerSize);
    putLe32(header + 14, 40);
    putLe32(header + 18, width);
    putLe32(header + 22, height);
    putLe16(header + 26, 1);
    putLe16(header + 28, 24);
    putLe32(header + 38, pixelsPerMetre);
    putLe32(header + 42, pixelsPerMetre);

    if (pixelBytes != 0) {
        for (std::uint32_t i = 0; i < height; ++i)
            std::memcpy(file.get() + headerSize + i * rowSize, bgr + (height - 1 - i) * pixelBytes, pixelBytes);
    }
    return file;
}

} // namespace

bool writeBmp(std::FILE* out, std::uint32_t width, std::uint32_t height, const std::uint8_t* bgr) {
    std::size_t fileSize = 0;
    const auto file = buildBmp(width, height, bgr, fileSize);
    return file && std::fwrite(file.get(), 1, fileSize, out) == fileSize;
}

bool writeBmp(const char* path, std::uint32_t width, std::uint32_t height, const std::uint8_t* bgr) {
    std::size_t fileSize = 0;
    const auto file = buildBmp(width, height, bgr, fileSize);
    if (!file)
        return false;
    StdioStream out(std::fopen(path, "wb"));
    if (!out)
        return false;
    // Flushed apart from the close: some runtimes' fclose does not report a failed flush.
    const bool written = std::fwrite(file.get(), 1, fileSize, out.get()) == fileSize && std::fflush(out.get()) == 0;
    return out.close() && written;
}
