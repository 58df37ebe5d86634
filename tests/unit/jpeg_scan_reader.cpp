#include "jpeg_scan_reader.h"

namespace jpeg_inspect {

namespace {

// MINCODE, MAXCODE and VALPTR by code length (T.81 F.2.2.3).
struct HuffmanDecoder {
    int minCode[17] = {}, maxCode[17] = {}, valuePointer[17] = {};
    std::vector<std::uint8_t> values;
};

HuffmanDecoder makeDecoder(const std::uint8_t* counts, const std::uint8_t* values) {
    HuffmanDecoder decoder;
    int code = 0, next = 0;
    for (int length = 1; length <= 16; ++length) {
        decoder.valuePointer[length] = next;
        decoder.minCode[length] = code;
        code += counts[length - 1];
        next += counts[length - 1];
        decoder.maxCode[length] = counts[length - 1] ? code - 1 : -1;
        code <<= 1;
    }
    decoder.values.assign(values, values + next);
    return decoder;
}

class BitReader {
public:
    explicit BitReader(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    bool bit(int& out) {
        if (at_ >= bytes_.size() * 8)
            return false;
        out = (bytes_[at_ / 8] >> (7 - at_ % 8)) & 1;
        ++at_;
        return true;
    }
    bool bits(int count, int& out) {
        out = 0;
        for (int i = 0, b; i < count; ++i) {
            if (!bit(b))
                return false;
            out = out * 2 + b;
        }
        return true;
    }
    std::size_t remaining() const { return bytes_.size() * 8 - at_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

bool decodeSymbol(BitReader& reader, const HuffmanDecoder& decoder, std::uint8_t& symbol) {
    int code = 0;
    for (int length = 1, b; length <= 16; ++length) {
        if (!reader.bit(b))
            return false;
        code = code * 2 + b;
        if (code <= decoder.maxCode[length]) {
            symbol =
                decoder.values[static_cast<std::size_t>(decoder.valuePointer[length] + code - decoder.minCode[length])];
            return true;
        }
    }
    return false;
}

int extend(int bits, int size) { return size == 0 ? 0 : (bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits); }

} // namespace

const Segment* find(const ParsedJpeg& jpeg, std::uint8_t marker) {
    for (const Segment& s : jpeg.headers)
        if (s.marker == marker)
            return &s;
    return nullptr;
}

ParsedJpeg parse(const std::vector<std::uint8_t>& file) {
    ParsedJpeg out;
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) {
        out.error = "no SOI";
        return out;
    }
    std::size_t at = 2;
    for (;;) {
        if (at + 4 > file.size() || file[at] != 0xFF) {
            out.error = "bad segment";
            return out;
        }
        Segment s;
        s.marker = file[at + 1];
        const std::size_t length = std::size_t{file[at + 2]} << 8 | file[at + 3];
        if (length < 2 || at + 2 + length > file.size()) {
            out.error = "bad segment length";
            return out;
        }
        s.payload.assign(file.begin() + static_cast<long>(at + 4), file.begin() + static_cast<long>(at + 2 + length));
        at += 2 + length;
        out.headers.push_back(std::move(s));
        if (out.headers.back().marker == 0xDA)
            break;
    }
    out.endsWithEoi = file.size() >= at + 2 && file[file.size() - 2] == 0xFF && file.back() == 0xD9;
    out.entropy.assign(file.begin() + static_cast<long>(at), file.end() - (out.endsWithEoi ? 2 : 0));

    // Unstuff, refusing any marker inside the data.
    std::vector<std::uint8_t> data;
    for (std::size_t i = 0; i < out.entropy.size(); ++i) {
        data.push_back(out.entropy[i]);
        if (out.entropy[i] == 0xFF) {
            if (i + 1 >= out.entropy.size() || out.entropy[i + 1] != 0x00) {
                out.error = "FF in the coded data not followed by 00";
                return out;
            }
            ++i;
        }
    }

    const Segment* sof = find(out, 0xC0);
    const Segment* dht = find(out, 0xC4);
    if (!sof || !dht || sof->payload.size() < 5) {
        out.error = "missing SOF0 or DHT";
        return out;
    }
    const int height = sof->payload[1] << 8 | sof->payload[2];
    const int width = sof->payload[3] << 8 | sof->payload[4];

    std::map<int, HuffmanDecoder> tables; // class << 4 | id
    for (std::size_t p = 0; p + 17 <= dht->payload.size();) {
        const int key = dht->payload[p];
        const std::uint8_t* counts = &dht->payload[p + 1];
        int total = 0;
        for (int i = 0; i < 16; ++i)
            total += counts[i];
        if (p + 17 + static_cast<std::size_t>(total) > dht->payload.size()) {
            out.error = "bad DHT";
            return out;
        }
        tables[key] = makeDecoder(counts, &dht->payload[p + 17]);
        p += 17 + static_cast<std::size_t>(total);
    }

    BitReader reader(data);
    const int mcus = ((width + 7) / 8) * ((height + 7) / 8);
    int predictor[3] = {0, 0, 0};
    for (int m = 0; m < mcus; ++m) {
        for (int component = 0; component < 3; ++component) {
            const HuffmanDecoder& dc = tables[component == 0 ? 0x00 : 0x01];
            const HuffmanDecoder& ac = tables[component == 0 ? 0x10 : 0x11];
            BlockSymbols block;
            std::uint8_t symbol = 0;
            int bits = 0;
            if (!decodeSymbol(reader, dc, symbol) || !reader.bits(symbol, bits)) {
                out.error = "bad DC code in MCU " + std::to_string(m);
                return out;
            }
            block.dcCategory = symbol;
            block.dcDiff = extend(bits, symbol);
            predictor[component] += block.dcDiff;
            block.coefficients[0] = predictor[component];
            for (int k = 1; k < 64;) {
                if (!decodeSymbol(reader, ac, symbol)) {
                    out.error = "bad AC code in MCU " + std::to_string(m);
                    return out;
                }
                block.acSymbols.push_back(symbol);
                if (symbol == 0x00)
                    break;
                if (symbol == 0xF0) {
                    k += 16;
                    continue;
                }
                k += symbol >> 4;
                if (k > 63 || !reader.bits(symbol & 15, bits)) {
                    out.error = "AC run past the block in MCU " + std::to_string(m);
                    return out;
                }
                block.acValues.push_back(extend(bits, symbol & 15));
                block.coefficients[k++] = block.acValues.back();
            }
            out.blocks.push_back(block);
        }
    }
    out.paddingBits = static_cast<int>(reader.remaining());
    out.paddingAllOnes = true;
    for (int b; reader.bit(b);)
        out.paddingAllOnes = out.paddingAllOnes && b == 1;
    return out;
}

} // namespace jpeg_inspect
