// Written from ITU-T T.81 (clause and figure numbers below) and JFIF 1.01,
// in double precision where the standard is real-valued; nothing here comes
// from the writer under test, not even its tables.
#include "jpeg_reference.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace jpeg_reference {

namespace {

constexpr int quality = 90;

// Tables K.1 and K.2 as printed: row-major, the DC entry first.
constexpr int tableK1[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                             14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                             18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                             49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr int tableK2[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
                             99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                             99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// A Huffman table as DHT carries it (B.2.4.2): BITS, then HUFFVAL.
struct HuffmanTable {
    std::uint8_t bits[16];
    std::vector<std::uint8_t> values;
};

const HuffmanTable tableK3{{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanTable tableK4{{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanTable tableK5{
    {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 125},
    {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
     0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52, 0xD1, 0xF0, 0x24, 0x33, 0x62, 0x72,
     0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x34, 0x35, 0x36, 0x37,
     0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
     0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83,
     0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3,
     0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3,
     0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2,
     0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA}};
const HuffmanTable tableK6{
    {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 119},
    {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22,
     0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xA1, 0xB1, 0xC1, 0x09, 0x23, 0x33, 0x52, 0xF0, 0x15, 0x62, 0x72, 0xD1,
     0x0A, 0x16, 0x24, 0x34, 0xE1, 0x25, 0xF1, 0x17, 0x18, 0x19, 0x1A, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x35, 0x36,
     0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
     0x59, 0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A,
     0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A,
     0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA,
     0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA,
     0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA}};

struct Code {
    unsigned bits = 0;
    int size = 0; // 0: the table has no code for the symbol
};

// EHUFCO and EHUFSI by symbol: Figures C.1 (sizes), C.2 (codes), C.3 (order).
std::array<Code, 256> codesOf(const HuffmanTable& table) {
    std::vector<int> huffsize;
    for (int length = 1; length <= 16; ++length)
        huffsize.insert(huffsize.end(), table.bits[length - 1], length);
    huffsize.push_back(0);
    std::vector<unsigned> huffcode;
    unsigned code = 0;
    int si = huffsize[0];
    for (std::size_t k = 0;;) {
        while (huffsize[k] == si) {
            huffcode.push_back(code++);
            ++k;
        }
        if (huffsize[k] == 0)
            break;
        do {
            code <<= 1;
            ++si;
        } while (huffsize[k] != si);
    }
    std::array<Code, 256> bySymbol{};
    for (std::size_t k = 0; k < huffcode.size(); ++k)
        bySymbol[table.values[k]] = {huffcode[k], huffsize[k]};
    return bySymbol;
}

// SSSS of Tables F.1 and F.2: the number of bits of the magnitude.
int category(int value) {
    int size = 0;
    for (int magnitude = std::abs(value); magnitude != 0; magnitude >>= 1)
        ++size;
    return size;
}

// Bits leave most significant first; every FF gets a 00 after it (F.1.2.3).
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void put(unsigned bits, int size) {
        for (int i = size - 1; i >= 0; --i)
            bit((bits >> i) & 1u);
    }
    void put(const Code& code) { put(code.bits, code.size); }
    // The value's SSSS low-order bits, of value - 1 when negative (F.1.2.1).
    void putAdditional(int value, int size) {
        put(static_cast<unsigned>(value < 0 ? value - 1 : value) & ((1u << size) - 1u), size);
    }
    // Fill the last byte with 1-bits before the marker (F.1.2.3).
    void padWithOnes() {
        while (filled_ != 0)
            bit(1);
    }

private:
    void bit(unsigned b) {
        current_ = (current_ << 1) | b;
        if (++filled_ < 8)
            return;
        out_.push_back(static_cast<std::uint8_t>(current_));
        if (current_ == 0xFF)
            out_.push_back(0x00);
        current_ = 0;
        filled_ = 0;
    }
    std::vector<std::uint8_t>& out_;
    unsigned current_ = 0;
    int filled_ = 0;
};

void append16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void segment(std::vector<std::uint8_t>& out, std::uint8_t marker, const std::vector<std::uint8_t>& payload) {
    const std::size_t length = payload.size() + 2; // the length field counts itself
    out.push_back(0xFF);
    out.push_back(marker);
    append16(out, static_cast<unsigned>(length));
    out.insert(out.end(), payload.begin(), payload.end());
}

void appendTable(std::vector<std::uint8_t>& out, std::uint8_t classAndId, const HuffmanTable& table) {
    out.push_back(classAndId);
    out.insert(out.end(), std::begin(table.bits), std::end(table.bits));
    out.insert(out.end(), table.values.begin(), table.values.end());
}

// Quality q scales the Annex K tables by 200 - 2q percent, rounded, kept to 1..255.
std::array<std::uint8_t, 64> scaledZigZag(const int (&table)[64]) {
    const int percent = 200 - 2 * quality;
    std::array<std::uint8_t, 64> out{};
    for (int k = 0; k < 64; ++k)
        out[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(
            std::clamp((table[zigZag()[static_cast<std::size_t>(k)]] * percent + 50) / 100, 1, 255));
    return out;
}

} // namespace

const std::array<int, 64>& zigZag() {
    static const std::array<int, 64> order = [] {
        // Anti-diagonals of Figure A.6, alternately up and down.
        std::array<int, 64> o{};
        std::size_t k = 0;
        for (int sum = 0; sum < 15; ++sum)
            for (int i = 0; i <= sum; ++i) {
                const int row = sum % 2 == 0 ? sum - i : i, column = sum - row;
                if (row < 8 && column < 8)
                    o[k++] = row * 8 + column;
            }
        return o;
    }();
    return order;
}

const std::array<std::uint8_t, 64>& quantisation(int component) {
    static const std::array<std::uint8_t, 64> luminance = scaledZigZag(tableK1), chrominance = scaledZigZag(tableK2);
    return component == 0 ? luminance : chrominance;
}

std::vector<Block> quantisedBlocks(const std::uint8_t* rgb, std::uint32_t width, std::uint32_t height) {
    // cos((2x + 1) u pi / 16) of A.3.3.
    double cosine[8][8];
    for (int x = 0; x < 8; ++x)
        for (int u = 0; u < 8; ++u)
            cosine[x][u] = std::cos((2 * x + 1) * u * std::numbers::pi / 16);
    const auto c = [](int u) { return u == 0 ? std::numbers::sqrt2 / 2 : 1.0; };

    std::vector<Block> blocks;
    for (std::uint32_t mcuY = 0; mcuY < height; mcuY += 8)
        for (std::uint32_t mcuX = 0; mcuX < width; mcuX += 8) {
            // Level-shifted samples (A.3.1) of Y, Cb, Cr. JFIF's YCbCr from
            // CCIR 601: Cb and Cr carry +128, which the level shift takes off.
            double samples[3][8][8];
            for (std::uint32_t y = 0; y < 8; ++y)
                for (std::uint32_t x = 0; x < 8; ++x) {
                    const std::uint32_t row = std::min(mcuY + y, height - 1), column = std::min(mcuX + x, width - 1);
                    const std::uint8_t* p = rgb + (std::size_t{row} * width + column) * 3;
                    const double r = p[0], g = p[1], b = p[2];
                    const double luma = 0.299 * r + 0.587 * g + 0.114 * b;
                    samples[0][y][x] = luma - 128;
                    samples[1][y][x] = (b - luma) / (2 * (1 - 0.114));
                    samples[2][y][x] = (r - luma) / (2 * (1 - 0.299));
                }
            for (int component = 0; component < 3; ++component) {
                // The double sum of A.3.3, taken over x first, then over y.
                double overX[8][8];
                for (int y = 0; y < 8; ++y)
                    for (int u = 0; u < 8; ++u) {
                        overX[y][u] = 0;
                        for (int x = 0; x < 8; ++x)
                            overX[y][u] += samples[component][y][x] * cosine[x][u];
                    }
                const auto& q = quantisation(component);
                Block block{};
                for (std::size_t k = 0; k < 64; ++k) {
                    const int v = zigZag()[k] / 8, u = zigZag()[k] % 8;
                    double sum = 0;
                    for (int y = 0; y < 8; ++y)
                        sum += overX[y][u] * cosine[y][v];
                    const double coefficient = 0.25 * c(u) * c(v) * sum;
                    block[k] = static_cast<int>(std::lround(coefficient / q[k])); // A.3.4
                }
                blocks.push_back(block);
            }
        }
    return blocks;
}

std::vector<std::uint8_t> encodeFile(const std::vector<Block>& blocks, std::uint16_t width, std::uint16_t height,
                                     const char* comment) {
    std::vector<std::uint8_t> out{0xFF, 0xD8}; // SOI
    // JFIF APP0: version 1.01, no units, aspect 1:1, no thumbnail.
    segment(out, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    if (comment)
        segment(out, 0xFE, std::vector<std::uint8_t>(comment, comment + std::strlen(comment)));

    std::vector<std::uint8_t> dqt; // B.2.4.1: Pq = 0 (8-bit), Tq 0 and 1
    for (int table = 0; table < 2; ++table) {
        dqt.push_back(static_cast<std::uint8_t>(table));
        dqt.insert(dqt.end(), quantisation(table).begin(), quantisation(table).end());
    }
    segment(out, 0xDB, dqt);

    std::vector<std::uint8_t> sof{8}; // B.2.2: P, Y, X, Nf, then Ci, Hi Vi, Tqi
    append16(sof, height);
    append16(sof, width);
    for (const std::uint8_t byte : {3, 1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1})
        sof.push_back(byte);
    segment(out, 0xC0, sof);

    std::vector<std::uint8_t> dht; // B.2.4.2: Tc Th, BITS, HUFFVAL for each table
    appendTable(dht, 0x00, tableK3);
    appendTable(dht, 0x10, tableK5);
    appendTable(dht, 0x01, tableK4);
    appendTable(dht, 0x11, tableK6);
    segment(out, 0xC4, dht);

    // B.2.3: Ns = 3, Cs with Td Ta, Ss = 0, Se = 63, Ah Al = 0.
    segment(out, 0xDA, {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0});

    static const std::array<Code, 256> dcCodes[2] = {codesOf(tableK3), codesOf(tableK4)};
    static const std::array<Code, 256> acCodes[2] = {codesOf(tableK5), codesOf(tableK6)};
    BitWriter bits(out);
    int predictor[3] = {0, 0, 0};
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const Block& zz = blocks[i];
        const std::size_t component = i % 3, table = component == 0 ? 0 : 1;
        // F.1.2.1: the DC difference, its category, its additional bits.
        const int diff = zz[0] - predictor[component];
        predictor[component] = zz[0];
        bits.put(dcCodes[table][static_cast<std::size_t>(category(diff))]);
        bits.putAdditional(diff, category(diff));
        // Figure F.2: runs of zeros, ZRL for each 16 before a value, EOB.
        int run = 0;
        for (std::size_t k = 1; k < 64; ++k) {
            if (zz[k] == 0) {
                if (k == 63)
                    bits.put(acCodes[table][0x00]);
                ++run;
                continue;
            }
            for (; run > 15; run -= 16)
                bits.put(acCodes[table][0xF0]);
            const int size = category(zz[k]);
            bits.put(acCodes[table][static_cast<std::size_t>(run * 16 + size)]);
            bits.putAdditional(zz[k], size);
            run = 0;
        }
    }
    bits.padWithOnes();
    for (const std::uint8_t byte : {0xFF, 0xD9}) // EOI
        out.push_back(byte);
    return out;
}

} // namespace jpeg_reference
