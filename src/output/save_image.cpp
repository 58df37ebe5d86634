// Save dispatch: picks the encoder from the name's extension (or the fallback
// format), converts the pixels into the layout that encoder takes, and writes
// the file. Runs on the save worker thread only. Every file is written beside
// its target first and moved over it once complete, so a full drive or a
// refused write leaves neither a partial file nor a damaged older one.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include <lodepng.h>

#include "output/jpeg_scan.h"
#include "output/output.h"
#include "output/pixel_layout.h"
#include "output/stdio_stream.h"

thread_local std::FILE* saveStream = nullptr;

namespace {

// The JPEG writer emits one byte at a time; they are gathered here and go to
// saveStream in large writes. Each thread that saves has its own, like
// saveStream itself: a promoted job is written beside the worker's.
thread_local std::uint8_t saveBuffer[1 << 16];
thread_local std::size_t saveBuffered = 0;

} // namespace

void flushFileByteSink() {
    if (saveBuffered != 0)
        std::fwrite(saveBuffer, 1, saveBuffered, saveStream);
    saveBuffered = 0;
}

void fileByteSink(std::uint8_t byte) {
    saveBuffer[saveBuffered++] = byte;
    if (saveBuffered == sizeof saveBuffer)
        flushFileByteSink();
}

void fileBytesSink(const std::uint8_t* bytes, std::size_t count) {
    while (count != 0) {
        const std::size_t room = std::min(count, sizeof saveBuffer - saveBuffered);
        std::memcpy(saveBuffer + saveBuffered, bytes, room);
        saveBuffered += room;
        bytes += room;
        count -= room;
        if (saveBuffered == sizeof saveBuffer)
            flushFileByteSink();
    }
}

namespace {

constexpr const char* jpegComment = "Captured with Lumagrab";
constexpr std::uint32_t jpegSizeLimit = std::numeric_limits<std::uint16_t>::max();

// Writes a new file beside `target` with `write` and moves it over `target`
// once it is complete; the older target stays until then.
template <typename Write> bool writeBeside(const char* target, ExistingTarget existing, Write write) {
    std::string temporary;
    StdioStream out(createTemporaryFile(target, false, temporary));
    if (!out)
        return false;
    // Flushed apart from the close: some runtimes' fclose does not report a
    // failed flush, and a full drive shows only there.
    const bool written = write(out.get()) && std::fflush(out.get()) == 0 && std::ferror(out.get()) == 0;
    const bool closed = out.close();
    return commitTemporaryFile(temporary, target, written && closed, existing);
}

ImageFormat formatFromExtension(const char* path, std::size_t length) {
    const std::string_view name(path, length);
    if (endsWithIgnoringCase(name, ".jpg"))
        return jpegFormat;
    if (endsWithIgnoringCase(name, ".png"))
        return pngFormat;
    if (endsWithIgnoringCase(name, ".bmp"))
        return bmpFormat;
    return -1;
}

// Null when the image is too large to address or memory is short: that save is dropped.
std::unique_ptr<std::uint8_t[]> allocatePixels(std::uint32_t width, std::uint32_t height, std::size_t bytesPerPixel) {
    const std::size_t pixelCount = std::size_t{width} * height;
    if (height != 0 && pixelCount / height != width)
        return nullptr;
    if (pixelCount > std::numeric_limits<std::size_t>::max() / bytesPerPixel)
        return nullptr;
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[pixelCount * bytesPerPixel]);
}

// The JPEG writer's RGB rows, converted band by band as it asks for them: the
// copy stays small and in cache instead of a whole second image.
struct RgbBands {
    const std::uint8_t* pixels;
    std::uint32_t width;
    bool bgra;
    std::unique_ptr<std::uint8_t[]> band; // eight rows of RGB
};

const std::uint8_t* convertBand(void* context, std::uint32_t first, std::uint32_t count) {
    auto& bands = *static_cast<RgbBands*>(context);
    dropAlpha(bands.pixels + std::size_t{first} * bands.width * 4, bands.band.get(), std::size_t{count} * bands.width,
              bands.bgra);
    return bands.band.get();
}

bool saveJpeg(const char* path, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, bool bgra,
              ExistingTarget existing) {
    // The format holds 16-bit sizes; an empty image has nothing to hold. In
    // both cases the target is left alone rather than replaced by a bad file.
    if (width == 0 || height == 0 || width > jpegSizeLimit || height > jpegSizeLimit)
        return false;
    RgbBands bands{pixels, width, bgra, allocatePixels(width, 8, 3)};
    if (!bands.band)
        return false;
    JpegRowSource source;
    source.convert = convertBand;
    source.context = &bands;

    return writeBeside(path, existing, [&](std::FILE* out) {
        saveStream = out;
        encodeJpegRows(fileByteSink, source, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 90,
                       jpegComment);
        flushFileByteSink();
        saveStream = nullptr;
        return true;
    });
}

// The kept memory for the length of one PNG save, when no other thread has it.
struct PngMemoryHold {
    bool held = holdPngMemory();
    PngMemoryHold() = default;
    PngMemoryHold(const PngMemoryHold&) = delete;
    PngMemoryHold& operator=(const PngMemoryHold&) = delete;
    ~PngMemoryHold() {
        if (held)
            letGoPngMemory();
    }
};

struct LodepngDelete {
    void operator()(void* bytes) const { lodepng_free(bytes); }
};
using LodepngBytes = std::unique_ptr<unsigned char[], LodepngDelete>;

// `writable`: the pixels themselves when the caller gives them up, else null.
bool savePng(const char* path, const std::uint8_t* pixels, std::uint8_t* writable, std::uint32_t width,
             std::uint32_t height, bool bgra, ExistingTarget existing) {
    // Declared first: let go only after every block served from it is freed.
    const PngMemoryHold hold;
    LodepngBytes rgba;
    const std::uint8_t* source = pixels;
    if (bgra && writable) {
        // Reordered where they are: a fresh 33 MB copy costs more in page
        // faults than the shuffle itself.
        swapRedAndBlue(writable, writable, std::size_t{width} * height);
    } else if (bgra) {
        const std::size_t pixelCount = std::size_t{width} * height;
        if ((height != 0 && pixelCount / height != width) || pixelCount > SIZE_MAX / 4)
            return false;
        rgba.reset(static_cast<unsigned char*>(lodepng_malloc(pixelCount * 4)));
        if (!rgba)
            return false;
        swapRedAndBlue(pixels, rgba.get(), pixelCount);
        source = rgba.get();
    }
    // Encoded in memory (LodePNG's own file writer does not check its writes)
    // and written from LodePNG's own buffer, with the defaults of its encode.
    unsigned char* encoded = nullptr;
    std::size_t size = 0;
    const unsigned error = lodepng_encode_memory(&encoded, &size, source, width, height, LCT_RGBA, 8);
    const LodepngBytes png(encoded);
    if (error != 0)
        return false;
    rgba.reset();
    return writeBeside(path, existing, [&](std::FILE* out) { return std::fwrite(png.get(), 1, size, out) == size; });
}

bool saveBmp(const char* path, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, bool bgra,
             ExistingTarget existing) {
    auto bgr = allocatePixels(width, height, 3);
    if (!bgr)
        return false;
    dropAlpha(pixels, bgr.get(), std::size_t{width} * height, !bgra);
    return writeBeside(path, existing, [&](std::FILE* out) { return writeBmp(out, width, height, bgr.get()); });
}

} // namespace

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

bool endsWithIgnoringCase(std::string_view text, std::string_view lowerSuffix) {
    if (text.size() < lowerSuffix.size())
        return false;
    text.remove_prefix(text.size() - lowerSuffix.size());
    for (std::size_t i = 0; i < lowerSuffix.size(); ++i)
        if (lowerAscii(text[i]) != lowerSuffix[i])
            return false;
    return true;
}

std::string asciiLowered(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = lowerAscii(c);
    return result;
}

const char* extensionForFormat(ImageFormat format) {
    switch (format) {
    case jpegFormat:
        return ".jpg";
    case bmpFormat:
        return ".bmp";
    default:
        return ".png";
    }
}

std::string savedImageName(std::string_view path, ImageFormat format) {
    if (formatFromExtension(path.data(), path.size()) >= 0)
        return std::string(path);
    if (path.size() < 5 || format < jpegFormat || format > bmpFormat)
        return {};
    return std::string(path) + extensionForFormat(format);
}

namespace {

bool saveImageFrom(const char* path, const std::uint8_t* pixels, std::uint8_t* writable, std::uint32_t width,
                   std::uint32_t height, ImageFormat format, bool bgra, ExistingTarget existing) {
    if (!path || (!pixels && width != 0 && height != 0))
        return false;
    const std::string target = savedImageName(path, format);
    if (target.empty())
        return false;
    switch (formatFromExtension(target.data(), target.size())) {
    case jpegFormat:
        return saveJpeg(target.c_str(), pixels, width, height, bgra, existing);
    case pngFormat:
        return savePng(target.c_str(), pixels, writable, width, height, bgra, existing);
    default:
        return saveBmp(target.c_str(), pixels, width, height, bgra, existing);
    }
}

} // namespace

bool saveImage(const char* path, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
               ImageFormat format, bool bgra) {
    return saveImageFrom(path, pixels, nullptr, width, height, format, bgra, ExistingTarget::replace);
}

bool saveImageConsuming(const char* path, std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                        ImageFormat format, bool bgra, ExistingTarget existing) {
    return saveImageFrom(path, pixels, pixels, width, height, format, bgra, existing);
}
