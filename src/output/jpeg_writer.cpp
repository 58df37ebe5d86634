// Baseline sequential JPEG writer: one scan, Y Cb Cr at full resolution, fixed
// tables, every byte through a sink. The transform runs per MCU in the
// fastest variant the processor has (all give the same coefficients); the
// entropy coder packs whole codes into a 64-bit buffer and stuffs a word at
// a time. No heap: every table lives in the call.
#include <algorithm>
#include <cstring>

#include "output/jpeg_kernels.h"
#include "output/jpeg_tables.h"
#include "output/output.h"

namespace {

struct HuffmanCode {
    std::uint16_t code;
    std::uint8_t length; // 0 for symbols the table does not define
};
using HuffmanTable = HuffmanCode[256];

// Canonical codes of T.81 Annex C.
void buildHuffmanTable(HuffmanTable& table, const std::uint8_t* counts, const std::uint8_t* values) {
    std::uint32_t code = 0;
    std::size_t next = 0;
    for (std::uint8_t length = 1; length <= 16; ++length) {
        for (std::uint32_t i = 0; i < counts[length - 1]; ++i)
            table[values[next++]] = {static_cast<std::uint16_t>(code++), length};
        code *= 2;
    }
}

// Bits leave most significant first. Codes fill a 64-bit word; a full word is
// stuffed (T.81 F.1.2.3) into a local byte buffer, eight bytes at once when
// none is FF. The coder's state is a plain value that the block loop keeps in
// registers (byte stores through a member pointer would force it to memory).
struct BitState {
    std::uint64_t buffer; // the low 64 - freeBits bits are pending
    int freeBits;         // 1 to 64 between codes
    std::uint8_t* end;    // next free byte of the local buffer
};

[[gnu::noinline]] std::uint8_t* storeWord(std::uint8_t* end, std::uint64_t word) {
    // A byte of the word is FF exactly when that byte of ~word is zero.
    if ((((~word) - 0x0101010101010101ull) & word & 0x8080808080808080ull) == 0) {
        const std::uint64_t bigEndian = __builtin_bswap64(word);
        std::memcpy(end, &bigEndian, sizeof bigEndian);
        return end + 8;
    }
    for (int shift = 56; shift >= 0; shift -= 8) {
        const auto byte = static_cast<std::uint8_t>(word >> shift);
        *end++ = byte;
        if (byte == 0xFF)
            *end++ = 0x00;
    }
    return end;
}

// length is 1 to 27.
inline void putBits(BitState& state, std::uint32_t bits, unsigned length) {
    state.freeBits -= static_cast<int>(length);
    if (state.freeBits >= 0) {
        state.buffer = (state.buffer << length) | bits;
        return;
    }
    // The word is full: it takes the high part of these bits, the rest starts the next word.
    const auto spill = static_cast<unsigned>(-state.freeBits);
    state.end = storeWord(state.end, (state.buffer << (length - spill)) | (std::uint64_t{bits} >> spill));
    state.buffer = bits; // only the low `spill` bits are still pending
    state.freeBits += 64;
}

// Completes a partial last byte with 1-bits; whole bytes only, the rest is dropped.
void finishBits(BitState& state) {
    putBits(state, 0x7F, 7);
    for (int pending = 64 - state.freeBits; pending >= 8; pending -= 8) {
        const auto byte = static_cast<std::uint8_t>(state.buffer >> (pending - 8));
        *state.end++ = byte;
        if (byte == 0xFF)
            *state.end++ = 0x00;
    }
}

// The local byte buffer and the sink it drains into between MCUs, so that
// the sink's calls stay out of the coder's loop.
class ByteBuffer {
public:
    explicit ByteBuffer(JpegByteSink sink) : sink_(sink) {}
    std::uint8_t* begin() { return bytes_; }
    // Hands the bytes up to `end` to the sink once enough have gathered.
    std::uint8_t* drainIfFull(std::uint8_t* end) { return end - bytes_ >= drainAt ? drain(end) : end; }
    std::uint8_t* drain(std::uint8_t* end) {
        for (const std::uint8_t* p = bytes_; p != end; ++p)
            sink_(*p);
        return bytes_;
    }

private:
    // One MCU codes to at most about 1.3 KB even with every byte stuffed.
    static constexpr std::ptrdiff_t drainAt = 2048;
    JpegByteSink sink_;
    std::uint8_t bytes_[4096 + 16]; // room for the 8-byte stores past the end
};

// Magnitude category of v (its bit length) and its additional bits: v itself
// when positive, the ones' complement of |v| when negative (T.81 F.1.2.1).
struct Amplitude {
    unsigned size;
    std::uint32_t bits;
};

inline Amplitude amplitudeOf(int value) {
    const int sign = value >> 31; // all ones when negative
    const auto magnitude = static_cast<unsigned>((value ^ sign) - sign);
    // Bit length without a branch: clz(2m + 1) is never taken of 0.
    const unsigned size = 31u - static_cast<unsigned>(__builtin_clz(magnitude * 2u + 1u));
    const std::uint32_t bits = static_cast<std::uint32_t>(value + sign) & ((1u << size) - 1u);
    return {size, bits};
}

struct ComponentTables {
    const HuffmanTable* dc;
    const HuffmanTable* ac;
};

BitState encodeBlock(BitState out, const std::int16_t* zigzag, std::uint64_t nonzero, int& predictor,
                     const ComponentTables& tables) {
    const HuffmanTable& dcTable = *tables.dc;
    const HuffmanTable& acTable = *tables.ac;
    const Amplitude dc = amplitudeOf(zigzag[0] - predictor);
    predictor = zigzag[0];
    putBits(out, (std::uint32_t{dcTable[dc.size].code} << dc.size) | dc.bits, dcTable[dc.size].length + dc.size);

    std::uint64_t remaining = nonzero & ~std::uint64_t{1};
    unsigned previous = 0;
    while (remaining != 0) {
        const auto position = static_cast<unsigned>(__builtin_ctzll(remaining));
        remaining &= remaining - 1;
        unsigned run = position - previous - 1;
        previous = position;
        for (; run >= 16; run -= 16)
            putBits(out, acTable[0xF0].code, acTable[0xF0].length); // ZRL: sixteen zeros
        const Amplitude ac = amplitudeOf(zigzag[position]);
        const HuffmanCode& symbol = acTable[(run << 4) | ac.size];
        putBits(out, (std::uint32_t{symbol.code} << ac.size) | ac.bits, symbol.length + ac.size);
    }
    if (previous < 63)
        putBits(out, acTable[0x00].code, acTable[0x00].length); // EOB
    return out;
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

bool encodeJpeg(JpegByteSink sink, const std::uint8_t* pixels, std::uint16_t width, std::uint16_t height,
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
    HuffmanTable luminanceDc{}, luminanceAc{}, chrominanceDc{}, chrominanceAc{};
    buildHuffmanTable(luminanceDc, jpeg::luminanceDcCounts, jpeg::luminanceDcValues);
    buildHuffmanTable(luminanceAc, jpeg::luminanceAcCounts, jpeg::luminanceAcValues);
    buildHuffmanTable(chrominanceDc, jpeg::chrominanceDcCounts, jpeg::chrominanceDcValues);
    buildHuffmanTable(chrominanceAc, jpeg::chrominanceAcCounts, jpeg::chrominanceAcValues);
    const ComponentTables tables[3] = {
        {&luminanceDc, &luminanceAc}, {&chrominanceDc, &chrominanceAc}, {&chrominanceDc, &chrominanceAc}};

    writeHeaders(sink, width, height, comment, luminance, chrominance);

    static const TransformMcu transform = selectTransformMcu();
    ByteBuffer bytes(sink);
    BitState out{0, 64, bytes.begin()};
    int predictors[3] = {0, 0, 0};
    JpegMcu mcu;
    const std::size_t stride = std::size_t{width} * 3;
    const std::uint32_t fullWidth = width & ~7u; // MCUs that need no column replication
    // The last MCU of a row repeats the last column: its pixels are copied here.
    std::uint8_t edgeTile[8][8 * 3 + 8];

    for (std::uint32_t mcuY = 0; mcuY < height; mcuY += 8) {
        const std::uint8_t* rows[8];
        for (std::uint32_t k = 0; k < 8; ++k) // rows past the bottom repeat the last one
            rows[k] = pixels + std::min<std::uint32_t>(mcuY + k, height - 1u) * stride;
        for (std::uint32_t mcuX = 0; mcuX < width; mcuX += 8) {
            const std::uint8_t* at[8];
            if (mcuX < fullWidth) {
                for (int k = 0; k < 8; ++k)
                    at[k] = rows[k] + mcuX * 3;
            } else {
                for (int k = 0; k < 8; ++k) {
                    for (std::uint32_t x = 0; x < 8; ++x) {
                        const std::uint32_t column = std::min<std::uint32_t>(mcuX + x, width - 1u);
                        std::memcpy(&edgeTile[k][x * 3], rows[k] + column * 3, 3);
                    }
                    at[k] = edgeTile[k];
                }
            }
            transform(at, luminanceDivisors, chrominanceDivisors, mcu);
            for (int component = 0; component < 3; ++component)
                out = encodeBlock(out, mcu.coefficients[component], mcu.nonzero[component], predictors[component],
                                  tables[component]);
            out.end = bytes.drainIfFull(out.end);
        }
    }

    finishBits(out);
    bytes.drain(out.end);
    putBytes(sink, {0xFF, 0xD9});
    return true;
}
