// Makes the three files that orvane.exe reads from its own folder:
//   cursor.cur     32x32 monochrome crosshair, hot spot on its centre pixel (15, 15)
//   icon.ico       16, 20, 24, 32, 48 and 256 px, 32-bit BGRA with alpha
//   checkmark.bmp  20x20 24-bit, a white tick on the options grey RGB(60, 60, 60)
// Usage: make_assets OUTPUT_FOLDER. Plain C++ for the build machine; every
// multi-byte field is written little-endian, every bitmap bottom-up.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put32(Bytes& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// BITMAPINFOHEADER; `height` counts both masks inside .ico and .cur images.
void putInfoHeader(Bytes& out, int width, int height, int bitCount, std::uint32_t imageSize) {
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(width));
    put32(out, static_cast<std::uint32_t>(height));
    put16(out, 1);
    put16(out, static_cast<unsigned>(bitCount));
    put32(out, 0); // BI_RGB
    put32(out, imageSize);
    put32(out, 2835); // 72 dpi
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// --- cursor ------------------------------------------------------------------

enum class CursorPixel { transparent, black, white };

Bytes makeCursor() {
    constexpr int size = 32;
    constexpr int centre = 15;
    std::vector<CursorPixel> pixels(size * size, CursorPixel::transparent);
    auto at = [&](int x, int y) -> CursorPixel& { return pixels[static_cast<std::size_t>(y * size + x)]; };
    auto paintOutline = [&](int x, int y) {
        if (x >= 0 && y >= 0 && x < size && y < size && at(x, y) == CursorPixel::transparent)
            at(x, y) = CursorPixel::white;
    };
    // Four arms with a gap round the centre, so that the target pixel stays
    // visible; a dot marks it. Black cores with a white rim read on any picture.
    std::vector<std::pair<int, int>> cores;
    for (int d = 4; d <= 14; ++d) {
        cores.push_back({centre - d, centre});
        cores.push_back({centre + d, centre});
        cores.push_back({centre, centre - d});
        cores.push_back({centre, centre + d});
    }
    cores.push_back({centre, centre});
    for (auto [x, y] : cores)
        at(x, y) = CursorPixel::black;
    for (auto [x, y] : cores)
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (dx == 0 || dy == 0 || (x == centre && y == centre))
                    paintOutline(x + dx, y + dy);

    constexpr std::uint32_t rowBytes = size / 8;
    constexpr std::uint32_t imageBytes = 40 + 8 + 2 * rowBytes * size;
    Bytes out;
    put16(out, 0);
    put16(out, 2); // cursor
    put16(out, 1);
    out.push_back(size);
    out.push_back(size);
    out.push_back(2); // colours
    out.push_back(0);
    put16(out, centre); // hot spot x
    put16(out, centre); // hot spot y
    put32(out, imageBytes);
    put32(out, 6 + 16);
    putInfoHeader(out, size, 2 * size, 1, 2 * rowBytes * size);
    put32(out, 0x00000000); // palette: black
    put32(out, 0x00FFFFFF); // white
    // screen = (screen AND mask) XOR colour: black 0/0, white 0/1, transparent 1/0.
    for (int y = size - 1; y >= 0; --y)
        for (int byte = 0; byte < size / 8; ++byte) {
            std::uint8_t bits = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (at(byte * 8 + bit, y) == CursorPixel::white)
                    bits = static_cast<std::uint8_t>(bits | (0x80 >> bit));
            out.push_back(bits);
        }
    for (int y = size - 1; y >= 0; --y)
        for (int byte = 0; byte < size / 8; ++byte) {
            std::uint8_t bits = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (at(byte * 8 + bit, y) == CursorPixel::transparent)
                    bits = static_cast<std::uint8_t>(bits | (0x80 >> bit));
            out.push_back(bits);
        }
    return out;
}

// --- icon ----------------------------------------------------------------------

struct Colour {
    double r, g, b, a;
};

Colour over(Colour top, Colour under) {
    const double a = top.a + under.a * (1 - top.a);
    if (a <= 0)
        return {0, 0, 0, 0};
    auto mix = [&](double t, double u) { return (t * top.a + u * under.a * (1 - top.a)) / a; };
    return {mix(top.r, under.r), mix(top.g, under.g), mix(top.b, under.b), a};
}

bool insideRoundedRect(double x, double y, double left, double top, double right, double bottom, double radius) {
    if (x < left || x > right || y < top || y > bottom)
        return false;
    const double cx = std::clamp(x, left + radius, right - radius);
    const double cy = std::clamp(y, top + radius, bottom - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

// Edges of the picture, in pixels, snapped to whole pixels so that the small
// sizes stay crisp.
struct IconGeometry {
    double tileRadius, low, high, arm, stroke, innerLeft, innerTop, innerRight, innerBottom;
};

IconGeometry iconGeometry(int size) {
    const double s = size;
    auto snap = [&](double unit) { return std::round(unit * s); };
    const double low = snap(0.18);
    return {0.2 * s,
            low,
            s - low,
            std::max(2.0, snap(0.22)),
            std::max(1.0, snap(0.085)),
            snap(0.33),
            snap(0.36),
            s - snap(0.33),
            s - snap(0.36)};
}

// The picture at pixel point (x, y): a blue tile, white viewfinder corners
// and a yellow pinned rectangle in the middle.
Colour iconSample(double x, double y, int size, const IconGeometry& g) {
    const double s = size;
    Colour colour{0, 0, 0, 0};
    const double margin = std::max(0.0, std::round(0.03 * s));
    if (insideRoundedRect(x, y, margin, margin, s - margin, s - margin, g.tileRadius)) {
        const double t = y / s;
        colour = {0.17 + (0.10 - 0.17) * t, 0.48 + (0.31 - 0.48) * t, 0.89 + (0.63 - 0.89) * t, 1};
    }
    auto corner = [&](double cx, double cy, double sx, double sy) {
        const double dx = (x - cx) * sx, dy = (y - cy) * sy; // inward distances from the corner
        const bool horizontal = dx >= 0 && dx <= g.arm && dy >= 0 && dy <= g.stroke;
        const bool vertical = dy >= 0 && dy <= g.arm && dx >= 0 && dx <= g.stroke;
        return horizontal || vertical;
    };
    if (corner(g.low, g.low, 1, 1) || corner(g.high, g.low, -1, 1) || corner(g.low, g.high, 1, -1) ||
        corner(g.high, g.high, -1, -1))
        colour = over({1, 1, 1, 1}, colour);
    if (insideRoundedRect(x, y, g.innerLeft, g.innerTop, g.innerRight, g.innerBottom, 0.04 * s))
        colour = over({1.0, 0.82, 0.25, 1}, colour);
    return colour;
}

std::uint8_t toByte(double v) { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); }

// One icon image: BITMAPINFOHEADER, BGRA rows bottom-up, then the AND mask.
Bytes makeIconImage(int size) {
    constexpr int samples = 4;
    const IconGeometry geometry = iconGeometry(size);
    const std::uint32_t maskRow = static_cast<std::uint32_t>((size + 31) / 32 * 4);
    const std::uint32_t pixelBytes = static_cast<std::uint32_t>(size * size * 4);
    Bytes out;
    putInfoHeader(out, size, 2 * size, 32, pixelBytes + maskRow * static_cast<std::uint32_t>(size));
    std::vector<Colour> picture(static_cast<std::size_t>(size * size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            Colour sum{0, 0, 0, 0};
            for (int sy = 0; sy < samples; ++sy)
                for (int sx = 0; sx < samples; ++sx) {
                    const Colour c = iconSample(x + (sx + 0.5) / samples, y + (sy + 0.5) / samples, size, geometry);
                    sum = {sum.r + c.r * c.a, sum.g + c.g * c.a, sum.b + c.b * c.a, sum.a + c.a};
                }
            const double n = samples * samples;
            picture[static_cast<std::size_t>(y * size + x)] =
                sum.a > 0 ? Colour{sum.r / sum.a, sum.g / sum.a, sum.b / sum.a, sum.a / n} : Colour{0, 0, 0, 0};
        }
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) {
            const Colour& c = picture[static_cast<std::size_t>(y * size + x)];
            out.push_back(toByte(c.b));
            out.push_back(toByte(c.g));
            out.push_back(toByte(c.r));
            out.push_back(toByte(c.a));
        }
    for (int y = size - 1; y >= 0; --y) {
        Bytes row(maskRow, 0);
        for (int x = 0; x < size; ++x)
            if (toByte(picture[static_cast<std::size_t>(y * size + x)].a) == 0)
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

Bytes makeIcon() {
    const int sizes[] = {16, 20, 24, 32, 48, 256};
    std::vector<Bytes> images;
    for (int size : sizes)
        images.push_back(makeIconImage(size));
    Bytes out;
    put16(out, 0);
    put16(out, 1); // icon
    put16(out, static_cast<unsigned>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<std::uint8_t>(sizes[i] & 0xFF)); // 256 is written as 0
        out.push_back(static_cast<std::uint8_t>(sizes[i] & 0xFF));
        out.push_back(0);
        out.push_back(0);
        put16(out, 1);
        put16(out, 32);
        put32(out, static_cast<std::uint32_t>(images[i].size()));
        put32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const Bytes& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

// --- check mark ------------------------------------------------------------------

double distanceToSegment(double px, double py, double ax, double ay, double bx, double by) {
    const double vx = bx - ax, vy = by - ay;
    const double t = std::clamp(((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy), 0.0, 1.0);
    const double dx = px - (ax + t * vx), dy = py - (ay + t * vy);
    return std::sqrt(dx * dx + dy * dy);
}

Bytes makeCheckmark() {
    constexpr int size = 20;
    constexpr int samples = 4;
    constexpr double grey = 60, halfStroke = 1.25;
    constexpr std::uint32_t rowBytes = (size * 3 + 3) / 4 * 4;
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    put32(out, 14 + 40 + rowBytes * size);
    put32(out, 0);
    put32(out, 14 + 40);
    putInfoHeader(out, size, size, 24, rowBytes * size);
    for (int y = size - 1; y >= 0; --y) {
        Bytes row(rowBytes, 0);
        for (int x = 0; x < size; ++x) {
            int covered = 0;
            for (int sy = 0; sy < samples; ++sy)
                for (int sx = 0; sx < samples; ++sx) {
                    const double px = x + (sx + 0.5) / samples, py = y + (sy + 0.5) / samples;
                    const double d = std::min(distanceToSegment(px, py, 4.5, 10.5, 8.5, 14.5),
                                              distanceToSegment(px, py, 8.5, 14.5, 15.5, 5.5));
                    covered += d <= halfStroke;
                }
            const double coverage = static_cast<double>(covered) / (samples * samples);
            const auto value = static_cast<std::uint8_t>(std::lround(grey + (255 - grey) * coverage));
            row[static_cast<std::size_t>(x * 3)] = value;
            row[static_cast<std::size_t>(x * 3 + 1)] = value;
            row[static_cast<std::size_t>(x * 3 + 2)] = value;
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_assets OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    if (!writeFile(folder + "cursor.cur", makeCursor()) || !writeFile(folder + "icon.ico", makeIcon()) ||
        !writeFile(folder + "checkmark.bmp", makeCheckmark())) {
        std::fprintf(stderr, "make_assets: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
