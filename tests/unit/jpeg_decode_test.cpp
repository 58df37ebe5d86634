// The JPEG writer checked against an independent codec: libjpeg-turbo decodes
// what we write, and its own quality-90 encoder supplies the reference tables.
#include <cmath>
#include <map>

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include "image_file.h"
#include "jpeg_scan_reader.h"
#include "jpeg_memory.h"
#include "test_support.h"

using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes decodeRgb(const Bytes& jpeg, int& width, int& height) {
    tjhandle handle = tjInitDecompress();
    int subsampling = 0, colourspace = 0;
    Bytes rgb;
    if (tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colourspace) == 0) {
        rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
        if (tjDecompress2(handle, jpeg.data(), jpeg.size(), rgb.data(), width, 0, height, TJPF_RGB, TJFLAG_ACCURATEDCT))
            ADD_FAILURE() << tjGetErrorStr2(handle);
        EXPECT_EQ(subsampling, TJSAMP_444);
    } else {
        ADD_FAILURE() << tjGetErrorStr2(handle);
    }
    tjDestroy(handle);
    return rgb;
}

double psnr(const Bytes& a, const Bytes& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    const double mse = sum / double(a.size());
    return 10 * std::log10(255.0 * 255.0 / mse);
}

Bytes libjpegTurboRoundTrip(const Bytes& rgb, int width, int height) {
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(
        tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_444, 90, TJFLAG_ACCURATEDCT),
        0);
    const Bytes jpeg(out, out + size);
    tjFree(out);
    tjDestroy(handle);
    int w = 0, h = 0;
    return decodeRgb(jpeg, w, h);
}

TEST(JpegDecode, TheDesktopDecodesWithAtLeast35Db) {
    LoadedImage image;
    std::string error;
    ASSERT_TRUE(readImageFile((corpusDir() / "desktop_1920x1080.png").string(), image, error)) << error;
    const Bytes rgb = bgraToRgb(image.bgra);
    int w = 0, h = 0;
    const Bytes decoded = decodeRgb(encodeJpegToMemory(rgb, image.width, image.height), w, h);
    ASSERT_EQ(w, 1920);
    ASSERT_EQ(h, 1080);
    const double db = psnr(rgb, decoded);
    RecordProperty("psnr", std::to_string(db));
    EXPECT_GE(db, 35.0);
    EXPECT_GE(db, psnr(rgb, libjpegTurboRoundTrip(rgb, w, h)) - 0.5);
}

TEST(JpegDecode, TheFPictureKeepsItsColoursAndOrientation) {
    const int w = 96, h = 64;
    const Bytes rgb = bgraToRgb(makeFPictureBgra(w, h));
    int dw = 0, dh = 0;
    const Bytes decoded = decodeRgb(encodeJpegToMemory(rgb, w, h), dw, dh);
    ASSERT_EQ(dw, w);
    ASSERT_EQ(dh, h);
    int worst = 0;
    for (std::size_t i = 0; i < rgb.size(); ++i)
        worst = std::max(worst, std::abs(int(rgb[i]) - int(decoded[i])));
    EXPECT_LT(worst, 64) << "a swapped channel or flipped row would differ by far more";
    // The picture's fine texture is hard for any JPEG: compare with libjpeg-turbo's own quality 90.
    EXPECT_GE(psnr(rgb, decoded), psnr(rgb, libjpegTurboRoundTrip(rgb, w, h)) - 0.5);
}

TEST(JpegDecode, OddSizesDecodeToTheirOwnSize) {
    for (auto [w, h] : {std::pair{1u, 1u}, {9u, 9u}, {17u, 3u}, {3u, 70u}}) {
        const Bytes rgb = noiseBytes(std::size_t{w} * h * 3, w + h);
        int dw = 0, dh = 0;
        const Bytes decoded = decodeRgb(encodeJpegToMemory(rgb, w, h), dw, dh);
        EXPECT_EQ(static_cast<std::uint32_t>(dw), w);
        EXPECT_EQ(static_cast<std::uint32_t>(dh), h);
    }
}

// libjpeg-turbo at quality 90 with its standard tables: the DQT and DHT
// contents must equal ours (it writes each table in a segment of its own).
TEST(JpegDecode, TablesEqualThoseOfLibjpegTurboAtQuality90) {
    const Bytes rgb = noiseBytes(16 * 16 * 3, 3);
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(handle, rgb.data(), 16, 0, 16, TJPF_RGB, &out, &size, TJSAMP_444, 90, TJFLAG_ACCURATEDCT), 0);
    const Bytes theirs(out, out + size);
    tjFree(out);
    tjDestroy(handle);

    std::map<int, Bytes> theirQuant, theirHuffman;
    for (std::size_t at = 2; at + 4 <= theirs.size() && theirs[at] == 0xFF;) {
        const std::uint8_t marker = theirs[at + 1];
        const std::size_t length = std::size_t{theirs[at + 2]} << 8 | theirs[at + 3];
        const Bytes payload(theirs.begin() + long(at + 4), theirs.begin() + long(at + 2 + length));
        if (marker == 0xDB)
            for (std::size_t p = 0; p + 65 <= payload.size(); p += 65)
                theirQuant[payload[p]] = Bytes(payload.begin() + long(p + 1), payload.begin() + long(p + 65));
        if (marker == 0xC4)
            for (std::size_t p = 0; p + 17 <= payload.size();) {
                std::size_t total = 0;
                for (int i = 1; i <= 16; ++i)
                    total += payload[p + std::size_t(i)];
                theirHuffman[payload[p]] = Bytes(payload.begin() + long(p + 1), payload.begin() + long(p + 17 + total));
                p += 17 + total;
            }
        if (marker == 0xDA)
            break;
        at += 2 + length;
    }

    const auto ours = jpeg_inspect::parse(encodeJpegToMemory(rgb, 16, 16));
    const Bytes& dqt = jpeg_inspect::find(ours, 0xDB)->payload;
    EXPECT_EQ(Bytes(dqt.begin() + 1, dqt.begin() + 65), theirQuant[0]);
    EXPECT_EQ(Bytes(dqt.begin() + 66, dqt.end()), theirQuant[1]);
    const Bytes& dht = jpeg_inspect::find(ours, 0xC4)->payload;
    std::map<int, Bytes> ourHuffman;
    for (std::size_t p = 0; p + 17 <= dht.size();) {
        std::size_t total = 0;
        for (int i = 1; i <= 16; ++i)
            total += dht[p + std::size_t(i)];
        ourHuffman[dht[p]] = Bytes(dht.begin() + long(p + 1), dht.begin() + long(p + 17 + total));
        p += 17 + total;
    }
    ASSERT_EQ(theirHuffman.size(), 4u);
    EXPECT_EQ(ourHuffman, theirHuffman);
}

} // namespace
