// Makes the pictures the tests, the benchmarks and `make run` read, 8-bit RGB PNG:
//   desktop_1920x1080.png  a desktop at 100 %: photo wallpaper with grain, windows with title bars,
//                          code, documents and listings in small bitmap and anti-aliased text,
//                          flat panels, thin grid lines, a gradient, a photo viewer, a taskbar
//   desktop_3840x2160.png  the same scene at 200 %
//   gradient_3840x2160.png a smooth diagonal colour gradient
//   flat_3840x2160.png     RGB(240, 240, 240)
//   photo_3840x2160.png    smooth shading with sensor-like grain
//   noise_3840x2160.png    uniform random bytes, the worst case for an entropy coder
// Usage: make_corpus OUTPUT_FOLDER. Integer arithmetic and fixed pseudo-random
// sequences only, so that every compiler and machine writes the same pixels.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include <lodepng.h>

namespace {

struct Rgb {
    int r, g, b;
};

// Numerical Recipes' LCG; the high bits are the usable ones.
struct Random {
    std::uint32_t state;
    std::uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
};

std::uint32_t hash(std::uint32_t v) {
    v ^= v >> 16;
    v *= 0x7feb352du;
    v ^= v >> 15;
    v *= 0x846ca68bu;
    v ^= v >> 16;
    return v;
}

std::uint8_t clampByte(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), rgb_(std::size_t(width) * height * 3, 0) {}
    int width() const { return width_; }
    int height() const { return height_; }
    const std::vector<std::uint8_t>& bytes() const { return rgb_; }

    void set(int x, int y, Rgb c) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_)
            return;
        std::uint8_t* p = at(x, y);
        p[0] = clampByte(c.r), p[1] = clampByte(c.g), p[2] = clampByte(c.b);
    }
    // `alpha` 0..255 of `c` over what is there.
    void blend(int x, int y, Rgb c, int alpha) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_ || alpha <= 0)
            return;
        std::uint8_t* p = at(x, y);
        const int keep = 255 - alpha;
        p[0] = clampByte((c.r * alpha + p[0] * keep + 127) / 255);
        p[1] = clampByte((c.g * alpha + p[1] * keep + 127) / 255);
        p[2] = clampByte((c.b * alpha + p[2] * keep + 127) / 255);
    }
    void fill(int x, int y, int w, int h, Rgb c) {
        for (int yy = std::max(y, 0); yy < std::min(y + h, height_); ++yy)
            for (int xx = std::max(x, 0); xx < std::min(x + w, width_); ++xx)
                set(xx, yy, c);
    }
    void shade(int x, int y, int w, int h, Rgb c, int alpha) {
        for (int yy = std::max(y, 0); yy < std::min(y + h, height_); ++yy)
            for (int xx = std::max(x, 0); xx < std::min(x + w, width_); ++xx)
                blend(xx, yy, c, alpha);
    }

private:
    std::uint8_t* at(int x, int y) { return &rgb_[(std::size_t(y) * width_ + x) * 3]; }
    int width_, height_;
    std::vector<std::uint8_t> rgb_;
};

// --- text ---------------------------------------------------------------------------------------
// Glyphs are 5x9 cells (x-height rows 3-7, ascenders from row 1, descenders to
// row 9) built from strokes chosen by the character: they read as text to an
// encoder (thin strokes, sharp edges, gaps) without a font file.

constexpr int glyphW = 5, glyphH = 10, advance = 7, lineHeight = 14;

using GlyphRows = std::uint8_t[glyphH]; // bit 4 = leftmost column

void glyphOf(unsigned char ch, GlyphRows& rows) {
    std::fill(std::begin(rows), std::end(rows), std::uint8_t{0});
    auto h = [&](int row, int mask) { rows[row] = static_cast<std::uint8_t>(rows[row] | mask); };
    auto v = [&](int column, int from, int to) {
        for (int r = from; r <= to; ++r)
            h(r, 0x10 >> column);
    };
    switch (ch) {
    case ' ':
        return;
    case '.':
        return h(7, 0x04);
    case ',':
        return h(7, 0x04), h(8, 0x08);
    case ':':
    case ';':
        return h(4, 0x04), h(7, 0x04), ch == ';' ? h(8, 0x08) : void();
    case '(':
    case '[':
    case '{':
        return v(1, 2, 8), h(1, 0x06), h(9, 0x06), ch == '{' ? h(5, 0x10) : void();
    case ')':
    case ']':
    case '}':
        return v(3, 2, 8), h(1, 0x0C), h(9, 0x0C), ch == '}' ? h(5, 0x01) : void();
    case '=':
        return h(4, 0x1F), h(6, 0x1F);
    case '-':
        return h(5, 0x0E);
    case '_':
        return h(8, 0x1F);
    case '+':
        return h(5, 0x1F), v(2, 3, 7);
    case '*':
        return h(3, 0x15), h(4, 0x0E), h(5, 0x15);
    case '/':
        for (int r = 1; r <= 8; ++r)
            h(r, 0x01 << ((r - 1) / 2));
        return;
    case '<':
        return h(3, 0x03), h(4, 0x0C), h(5, 0x10), h(6, 0x0C), h(7, 0x03);
    case '>':
        return h(3, 0x18), h(4, 0x06), h(5, 0x01), h(6, 0x06), h(7, 0x18);
    case '"':
        return h(1, 0x0A), h(2, 0x0A);
    case '#':
        return v(1, 2, 8), v(3, 2, 8), h(4, 0x1F), h(6, 0x1F);
    }
    const std::uint32_t bits = hash(ch * 2654435761u);
    const bool upper = (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
    int top = upper ? 1 : 3, bottom = 7;
    if (!upper && (bits & 7) == 0)
        top = 1; // ascender
    else if (!upper && (bits & 7) == 1)
        bottom = 9; // descender
    const int middle = (top + bottom) / 2;
    int strokes = 0;
    if (bits & 0x08)
        v(0, top, bottom), ++strokes;
    if (bits & 0x10)
        v(4, top + (bits & 0x200 ? 1 : 0), bottom), ++strokes;
    if (bits & 0x20)
        h(top, 0x0E), ++strokes;
    if (bits & 0x40)
        h(middle, 0x1F), ++strokes;
    if (bits & 0x80)
        h(bottom, 0x0E), ++strokes;
    if ((bits & 0x100) || strokes < 2)
        v(2, middle, bottom);
    if (strokes < 2)
        v(0, top, bottom), h(top, 0x0E);
}

// Draws `text` with its top-left at (x, y), glyph pixels `scale` wide;
// anti-aliased text gets a faint fringe beside every stroke.
int drawText(Canvas& canvas, int x, int y, int scale, const std::string& text, Rgb colour, bool antialiased) {
    for (unsigned char ch : text) {
        GlyphRows rows;
        glyphOf(ch, rows);
        for (int r = 0; r < glyphH; ++r)
            for (int c = 0; c < glyphW; ++c) {
                const bool on = rows[r] & (0x10 >> c);
                const int px = x + c * scale, py = y + r * scale;
                if (on) {
                    canvas.shade(px, py, scale, scale, colour, 255);
                } else if (antialiased) {
                    const bool left = c > 0 && (rows[r] & (0x10 >> (c - 1)));
                    const bool right = c < glyphW - 1 && (rows[r] & (0x10 >> (c + 1)));
                    if (left)
                        canvas.shade(px, py, std::max(1, scale / 2), scale, colour, 110);
                    if (right)
                        canvas.shade(px + scale - std::max(1, scale / 2), py, std::max(1, scale / 2), scale, colour,
                                     70);
                }
            }
        x += advance * scale;
    }
    return x;
}

// --- made-up text ---------------------------------------------------------------------------------

std::string word(Random& random, int minLength, int maxLength) {
    static const char letters[] = "etaoinshrdlcumwfgypbvkjxqz";
    std::string w;
    const int length = minLength + random.below(maxLength - minLength + 1);
    for (int i = 0; i < length; ++i)
        w += letters[random.below(random.below(2) ? 8 : 26)];
    return w;
}

// Joins in order: the parts of a braced list are made left to right, where
// the operands of + may be made in any order (and draw other random numbers).
std::string cat(std::initializer_list<std::string> parts) {
    std::string joined;
    for (const std::string& part : parts)
        joined += part;
    return joined;
}

struct Token {
    std::string text;
    Rgb colour;
};

// One line of source code: indentation, keywords, names, numbers, strings, comments.
std::vector<Token> codeLine(Random& random, int& depth) {
    static const char* const keywords[] = {"const", "return", "if", "for", "auto", "static", "int", "void", "while"};
    const Rgb plain{212, 212, 212}, keyword{86, 156, 214}, number{181, 206, 168}, string{206, 145, 120},
        comment{106, 153, 85}, type{78, 201, 176};
    std::vector<Token> line;
    const int kind = random.below(10);
    if (kind == 0)
        return line; // blank
    if (kind == 1 && depth > 0) {
        --depth;
        line.push_back({std::string(std::size_t(depth) * 4, ' ') + "}", plain});
        return line;
    }
    line.push_back({std::string(std::size_t(depth) * 4, ' '), plain});
    if (kind == 2) {
        line.push_back({cat({"// ", word(random, 3, 8), " ", word(random, 2, 6), " ", word(random, 3, 9)}), comment});
        return line;
    }
    if (kind == 3 && depth < 4) {
        line.push_back({keywords[random.below(2) + 2], keyword});
        line.push_back({cat({" (", word(random, 2, 7), " < "}), plain});
        line.push_back({std::to_string(random.below(4096)), number});
        line.push_back({") {", plain});
        ++depth;
        return line;
    }
    line.push_back({keywords[random.below(9)], keyword});
    line.push_back({" ", plain});
    if (random.below(3) == 0)
        line.push_back({cat({"std::", word(random, 3, 6)}), type});
    line.push_back({cat({" ", word(random, 2, 9), " = ", word(random, 3, 8), "("}), plain});
    if (random.below(2))
        line.push_back({cat({"\"", word(random, 2, 10), "\""}), string});
    else
        line.push_back({std::to_string(random.below(100000)), number});
    line.push_back({");", plain});
    if (random.below(4) == 0)
        line.push_back({cat({"  // ", word(random, 3, 7)}), comment});
    return line;
}

std::string sentence(Random& random, int maxChars) {
    std::string s;
    for (;;) {
        std::string w = word(random, 1, 10);
        if (int(s.size() + w.size() + 1) > maxChars)
            return s;
        if (s.empty())
            w[0] = static_cast<char>(w[0] - 'a' + 'A');
        s += (s.empty() ? "" : " ") + w;
        if (random.below(9) == 0)
            s += random.below(2) ? "," : ".";
    }
}

// --- the scene ----------------------------------------------------------------------------------

// A landscape: sky with a glow, hills by sums of triangle waves, grain.
// Coordinates in 1/1024 of the picture so that both sizes show the same scene.
void paintWallpaper(Canvas& canvas) {
    Random grain{7};
    const int w = canvas.width(), h = canvas.height();
    for (int y = 0; y < h; ++y) {
        const int fy = y * 1024 / h;
        for (int x = 0; x < w; ++x) {
            const int fx = x * 1024 / w;
            auto tri = [](int t, int period) {
                const int p = t % period;
                return p < period / 2 ? p : period - p;
            };
            const int hill = 560 + tri(fx + 40, 420) / 3 - tri(fx * 3 + 100, 230) / 5 + tri(fx * 7, 90) / 9;
            const int far = 520 + tri(fx * 2 + 300, 300) / 4;
            Rgb c;
            if (fy < far && fy < hill) {
                const int dx = fx - 760, dy = fy - 250;
                const int glow = std::max(0, 40000 - dx * dx - dy * dy * 2) / 500;
                c = {80 + fy / 6 + glow, 130 + fy / 8 + glow * 3 / 4, 215 - fy / 12 + glow / 3};
            } else if (fy < hill) {
                c = {95 + (fy - far) / 2, 110 + (fy - far) / 3, 140 - (fy - far) / 4};
            } else {
                const int depth = fy - hill;
                c = {70 + depth / 5 + tri(fx + fy, 64) / 4, 105 + depth / 8 - tri(fx * 2 - fy, 50) / 5,
                     45 + depth / 10};
            }
            const int n = static_cast<int>(grain.next() % 13) - 6;
            canvas.set(x, y, {c.r + n, c.g + n, c.b + n + static_cast<int>(grain.next() % 5) - 2});
        }
    }
}

struct Frame {
    int x, y, w, h; // outer rectangle, logical pixels
};

// A window: soft shadow, one-pixel border, title bar (gradient when active),
// caption buttons; returns the client rectangle in logical pixels.
Frame drawWindow(Canvas& canvas, int s, Frame f, const std::string& title, bool active) {
    for (int d = 1; d <= 8; ++d)
        canvas.shade((f.x + d) * s, (f.y + f.h + d - 1) * s, f.w * s, s, {0, 0, 0}, 70 - d * 8),
            canvas.shade((f.x + f.w + d - 1) * s, (f.y + d) * s, s, (f.h - 1) * s, {0, 0, 0}, 70 - d * 8);
    canvas.fill(f.x * s, f.y * s, f.w * s, f.h * s, active ? Rgb{40, 90, 170} : Rgb{170, 170, 175});
    const int bar = 24;
    for (int x = 1; x < f.w - 1; ++x) {
        const Rgb c = active ? Rgb{30 + x * 40 / f.w, 80 + x * 60 / f.w, 160 + x * 60 / f.w} : Rgb{205, 205, 210};
        canvas.fill((f.x + x) * s, (f.y + 1) * s, s, (bar - 1) * s, c);
    }
    drawText(canvas, (f.x + 8) * s, (f.y + 6) * s, s, title, active ? Rgb{255, 255, 255} : Rgb{40, 40, 40}, true);
    for (int b = 0; b < 3; ++b) {
        const int bx = f.x + f.w - 26 * (b + 1);
        canvas.fill(bx * s, (f.y + 4) * s, 22 * s, 16 * s, b == 0 ? Rgb{196, 43, 28} : Rgb{228, 228, 232});
        const Rgb ink = b == 0 ? Rgb{255, 255, 255} : Rgb{30, 30, 30};
        for (int i = 4; i < 12; ++i) // a thin cross, a square, a bar
            if (b == 0)
                canvas.set((bx + 7 + i - 4) * s, (f.y + 4 + i) * s, ink),
                    canvas.set((bx + 14 - (i - 4)) * s, (f.y + 4 + i) * s, ink);
            else if (b == 1)
                canvas.fill((bx + 7) * s, (f.y + 8) * s, 8 * s, s, ink),
                    canvas.fill((bx + 7) * s, (f.y + 15) * s, 8 * s, s, ink),
                    canvas.fill((bx + 7) * s, (f.y + 8) * s, s, 8 * s, ink),
                    canvas.fill((bx + 14) * s, (f.y + 8) * s, s, 8 * s, ink);
            else
                canvas.fill((bx + 7) * s, (f.y + 12) * s, 8 * s, s, ink);
    }
    return {f.x + 1, f.y + bar, f.w - 2, f.h - bar - 1};
}

// Clips text lines to a client area by drawing only the lines that fit.
void codeEditor(Canvas& canvas, int s, Frame c, Random& random) {
    canvas.fill(c.x * s, c.y * s, 48 * s, c.h * s, {37, 37, 38});
    canvas.fill((c.x + 48) * s, c.y * s, (c.w - 48) * s, c.h * s, {30, 30, 30});
    canvas.fill(c.x * s, (c.y + c.h - 20) * s, c.w * s, 20 * s, {0, 122, 204});
    drawText(canvas, (c.x + 8) * s, (c.y + c.h - 16) * s, s, "Ln 1412, Col 7  UTF-8  LF  C++", {255, 255, 255}, true);
    int depth = 1;
    const int maxChars = (c.w - 60) / advance;
    for (int line = 0; (line + 1) * lineHeight < c.h - 24; ++line) {
        const int y = c.y + 4 + line * lineHeight;
        drawText(canvas, (c.x + 6) * s, y * s, s, std::to_string(1399 + line), {133, 133, 133}, false);
        int x = (c.x + 54) * s;
        int used = 0;
        for (const Token& t : codeLine(random, depth)) {
            const std::string text = t.text.substr(0, std::size_t(std::max(0, maxChars - used)));
            x = drawText(canvas, x, y * s, s, text, t.colour, false);
            used += int(text.size());
        }
    }
}

void documentWindow(Canvas& canvas, int s, Frame c, Random& random) {
    canvas.fill(c.x * s, c.y * s, c.w * s, 22 * s, {240, 240, 240});
    int mx = c.x + 8;
    for (const char* item : {"File", "Edit", "View", "Insert", "Format", "Help"})
        mx = drawText(canvas, mx * s, (c.y + 6) * s, s, item, {20, 20, 20}, true) / s + 14;
    canvas.fill(c.x * s, (c.y + 22) * s, c.w * s, s, {200, 200, 200});
    canvas.fill(c.x * s, (c.y + 23) * s, c.w * s, (c.h - 23) * s, {255, 255, 255});
    int y = c.y + 34;
    const int maxChars = (c.w - 40) / advance;
    drawText(canvas, (c.x + 20) * s, y * s, s * 2, cat({"REPORT ", std::to_string(random.below(90) + 10)}),
             {31, 78, 140}, true);
    y += 34;
    for (int p = 0; p < 3; ++p) {
        for (int l = 0; l < 4 + random.below(3); ++l, y += lineHeight)
            drawText(canvas, (c.x + 20) * s, y * s, s, sentence(random, maxChars - random.below(12)), {25, 25, 25},
                     true);
        y += 8;
    }
    // A table drawn with one-pixel lines at both scales.
    const int rows = 7, columns = 5, cellW = (c.w - 40) / columns, cellH = 20;
    const int tx = c.x + 20, ty = y;
    if (ty + rows * cellH >= c.y + c.h)
        return;
    canvas.fill(tx * s, ty * s, columns * cellW * s, cellH * s, {221, 235, 247});
    for (int r = 0; r <= rows; ++r)
        canvas.fill(tx * s, (ty + r * cellH) * s, columns * cellW * s + 1, 1, {120, 120, 120});
    for (int k = 0; k <= columns; ++k)
        canvas.fill((tx + k * cellW) * s, ty * s, 1, rows * cellH * s, {120, 120, 120});
    for (int r = 0; r < rows; ++r)
        for (int k = 0; k < columns; ++k) {
            const std::string text = r == 0 || k == 0 ? word(random, 3, 8) : std::to_string(random.below(99999));
            drawText(canvas, (tx + k * cellW + 5) * s, (ty + r * cellH + 5) * s, s,
                     text.substr(0, std::size_t(cellW / advance - 1)), r == 0 ? Rgb{0, 0, 0} : Rgb{50, 50, 50}, true);
        }
}

void terminalWindow(Canvas& canvas, int s, Frame c, Random& random) {
    canvas.fill(c.x * s, c.y * s, c.w * s, c.h * s, {12, 12, 12});
    const Rgb colours[] = {{204, 204, 204}, {59, 120, 255}, {22, 198, 12}, {97, 214, 214}, {231, 72, 86}};
    const int maxChars = (c.w - 12) / advance;
    for (int line = 0; (line + 1) * lineHeight < c.h - 4; ++line) {
        const int y = (c.y + 3 + line * lineHeight) * s;
        if (line % 9 == 0) {
            const int x = drawText(canvas, (c.x + 4) * s, y, s, "user@desk:~/src$ ", {22, 198, 12}, false);
            drawText(canvas, x, y, s, cat({"ls -l ", word(random, 3, 8)}), {204, 204, 204}, false);
            continue;
        }
        std::string meta = cat({"-rw-r--r-- 1 user user ", std::to_string(random.below(900000)), " Dec  9 "});
        meta = meta.substr(0, std::size_t(maxChars));
        const int x = drawText(canvas, (c.x + 4) * s, y, s, meta, colours[0], false);
        const std::string name = cat({word(random, 3, 12), random.below(2) ? ".cpp" : ""});
        const int fit = std::max(0, maxChars - int(meta.size()));
        drawText(canvas, x, y, s, name.substr(0, std::size_t(fit)), colours[1 + random.below(4)], false);
    }
}

// A photo viewer: soft coloured shapes with strong grain, then a small
// utility with flat panels, raised buttons, check boxes and a gradient bar.
void photoViewer(Canvas& canvas, int s, Frame c) {
    Random grain{99};
    canvas.fill(c.x * s, c.y * s, c.w * s, c.h * s, {45, 45, 48});
    const int px = (c.x + 10) * s, py = (c.y + 10) * s, pw = (c.w - 20) * s, ph = (c.h - 20) * s;
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x) {
            const int fx = x * 1024 / pw, fy = y * 1024 / ph;
            const int d1 = (fx - 300) * (fx - 300) + (fy - 400) * (fy - 400);
            const int d2 = (fx - 750) * (fx - 750) + (fy - 650) * (fy - 650) * 2;
            const int petal = std::max(0, 90000 - d1) / 700, leaf = std::max(0, 120000 - d2) / 1100;
            const int n = static_cast<int>(grain.next() % 25) - 12;
            canvas.set(px + x, py + y,
                       {40 + fy / 12 + petal + n, 60 + fx / 16 + leaf + n, 50 + (1024 - fy) / 10 + n / 2});
        }
}

void utilityWindow(Canvas& canvas, int s, Frame c, Random& random) {
    canvas.fill(c.x * s, c.y * s, c.w * s, c.h * s, {240, 240, 240});
    canvas.fill(c.x * s, c.y * s, 110 * s, c.h * s, {228, 232, 238});
    for (int i = 0; i < 6; ++i)
        drawText(canvas, (c.x + 10) * s, (c.y + 10 + i * 22) * s, s, word(random, 4, 9), {40, 40, 40}, true);
    canvas.fill(c.x * s, (c.y + 10 + 22) * s - s, 110 * s, 18 * s, {0, 120, 215});
    drawText(canvas, (c.x + 10) * s, (c.y + 32) * s, s, "network", {255, 255, 255}, true);
    const int x0 = c.x + 124;
    for (int i = 0; i < 4; ++i) {
        const int y = c.y + 12 + i * 24;
        canvas.fill(x0 * s, y * s, 13 * s, 13 * s, {255, 255, 255});
        canvas.fill(x0 * s, y * s, 13 * s, s, {90, 90, 90}), canvas.fill(x0 * s, y * s, s, 13 * s, {90, 90, 90});
        canvas.fill(x0 * s, (y + 12) * s, 13 * s, s, {90, 90, 90}),
            canvas.fill((x0 + 12) * s, y * s, s, 13 * s, {90, 90, 90});
        if (i % 2 == 0)
            canvas.fill((x0 + 3) * s, (y + 3) * s, 7 * s, 7 * s, {0, 120, 215});
        drawText(canvas, (x0 + 20) * s, (y + 1) * s, s, sentence(random, 22), {20, 20, 20}, true);
    }
    // Progress bar: a horizontal gradient inside a thin frame.
    const int by = c.y + 116, bw = c.w - 140;
    canvas.fill(x0 * s, by * s, bw * s, 14 * s, {120, 120, 120});
    for (int x = 1; x < bw * s * 7 / 10; ++x)
        canvas.fill(x0 * s + x, by * s + 1, 1, 14 * s - 2,
                    {6 + x * 60 / (bw * s), 176 - x * 50 / (bw * s), 37 + x * 150 / (bw * s)});
    // Raised buttons: light top-left, dark bottom-right lines.
    for (int b = 0; b < 2; ++b) {
        const int bx = c.x + c.w - 170 + b * 84, byy = c.y + c.h - 34;
        canvas.fill(bx * s, byy * s, 76 * s, 24 * s, {225, 225, 225});
        canvas.fill(bx * s, byy * s, 76 * s, s, {255, 255, 255}),
            canvas.fill(bx * s, byy * s, s, 24 * s, {255, 255, 255});
        canvas.fill(bx * s, (byy + 23) * s, 76 * s, s, {100, 100, 100}),
            canvas.fill((bx + 75) * s, byy * s, s, 24 * s, {100, 100, 100});
        drawText(canvas, (bx + 20) * s, (byy + 7) * s, s, b == 0 ? "Apply" : "Close", {0, 0, 0}, true);
    }
}

// A diagonal gradient panel with a thin grid over it, as a chart shows.
void chartWindow(Canvas& canvas, int s, Frame c) {
    const int w = c.w * s, h = c.h * s;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            canvas.set(c.x * s + x, c.y * s + y, {250 - (x + y) * 120 / (w + h), 245 - y * 60 / h, 255 - x * 90 / w});
    for (int k = 1; k < 8; ++k) {
        canvas.fill(c.x * s, c.y * s + k * h / 8, w, 1, {190, 190, 200});
        canvas.fill(c.x * s + k * w / 8, c.y * s, 1, h, {190, 190, 200});
    }
    int previous = h / 2;
    Random walk{5};
    for (int x = 0; x < w; x += s) {
        const int next = std::clamp(previous + walk.below(9 * s) - 4 * s, h / 8, h - h / 8);
        for (int y = std::min(previous, next); y <= std::max(previous, next); ++y)
            canvas.fill(c.x * s + x, c.y * s + y, s, s, {200, 40, 40});
        previous = next;
    }
}

void taskbar(Canvas& canvas, int s, int logicalW, int logicalH) {
    const int top = logicalH - 40;
    canvas.fill(0, top * s, logicalW * s, 40 * s, {32, 36, 44});
    canvas.fill(0, top * s, logicalW * s, 1, {70, 76, 90});
    const Rgb icons[] = {{0, 120, 215}, {255, 185, 0}, {16, 124, 16}, {232, 17, 35}, {136, 23, 152}, {0, 153, 188}};
    for (int i = 0; i < 6; ++i) {
        const int x = 12 + i * 44;
        canvas.fill(x * s, (top + 8) * s, 26 * s, 26 * s, icons[i]);
        canvas.fill((x + 6) * s, (top + 14) * s, 14 * s, 2 * s, {255, 255, 255});
        if (i == 1)
            canvas.fill((x + 4) * s, (top + 38) * s, 18 * s, 2 * s, {118, 185, 237});
    }
    drawText(canvas, (logicalW - 80) * s, (top + 6) * s, s, "17:42", {255, 255, 255}, true);
    drawText(canvas, (logicalW - 96) * s, (top + 22) * s, s, "09.12.2026", {255, 255, 255}, true);
}

Canvas desktop(int scale) {
    const int w = 1920, h = 1080;
    Canvas canvas(w * scale, h * scale);
    paintWallpaper(canvas);
    Random random{2026};
    codeEditor(canvas, scale, drawWindow(canvas, scale, {16, 16, 900, 600}, "jpeg_writer.cpp - editor", false), random);
    photoViewer(canvas, scale, drawWindow(canvas, scale, {40, 640, 470, 350}, "harbour.jpg - Photos", false));
    documentWindow(canvas, scale, drawWindow(canvas, scale, {950, 30, 920, 590}, "Quarterly report - Writer", false),
                   random);
    chartWindow(canvas, scale, drawWindow(canvas, scale, {1500, 650, 390, 330}, "Load chart", false));
    terminalWindow(canvas, scale, drawWindow(canvas, scale, {560, 470, 720, 440}, "user@desk: ~/src", false), random);
    utilityWindow(canvas, scale, drawWindow(canvas, scale, {1080, 700, 420, 290}, "Settings", true), random);
    taskbar(canvas, scale, w, h);
    return canvas;
}

Canvas gradient() {
    Canvas canvas(3840, 2160);
    for (int y = 0; y < 2160; ++y)
        for (int x = 0; x < 3840; ++x)
            canvas.set(x, y, {x * 255 / 3839, y * 255 / 2159, 255 - (x + y) * 255 / (3839 + 2159)});
    return canvas;
}

Canvas flat() {
    Canvas canvas(3840, 2160);
    canvas.fill(0, 0, 3840, 2160, {240, 240, 240});
    return canvas;
}

// Smooth shading with sensor-like grain: no two neighbours alike.
Canvas photo() {
    Canvas canvas(3840, 2160);
    std::uint32_t state = 12345;
    for (int y = 0; y < 2160; ++y)
        for (int x = 0; x < 3840; ++x) {
            int v[3];
            for (int c = 0; c < 3; ++c) {
                state = state * 1664525u + 1013904223u;
                const int random = static_cast<int>(state >> 24);
                const int shade = (x * (3 + c) + y * (5 - c)) / 40 % 200 + 20;
                v[c] = shade + (random - 128) / 12 + ((x / 97 + y / 61) % 3) * 10;
            }
            canvas.set(x, y, {v[2], v[1], v[0]});
        }
    return canvas;
}

Canvas noise() {
    Canvas canvas(3840, 2160);
    Random random{424242};
    for (int y = 0; y < 2160; ++y)
        for (int x = 0; x < 3840; ++x)
            canvas.set(x, y,
                       {static_cast<int>(random.next() & 255), static_cast<int>(random.next() & 255),
                        static_cast<int>(random.next() & 255)});
    return canvas;
}

bool save(const std::string& folder, const char* name, const Canvas& canvas, bool stored = false) {
    lodepng::State state;
    state.info_raw.colortype = LCT_RGB;
    state.info_raw.bitdepth = 8;
    state.info_png.color.colortype = LCT_RGB;
    state.info_png.color.bitdepth = 8;
    state.encoder.auto_convert = 0;
    if (stored) // nothing to find in noise: no time spent looking
        state.encoder.zlibsettings.btype = 0;
    std::vector<unsigned char> png;
    const unsigned error =
        lodepng::encode(png, canvas.bytes(), unsigned(canvas.width()), unsigned(canvas.height()), state);
    const std::string path = folder + "/" + name;
    if (error || lodepng::save_file(png, path) != 0) {
        std::fprintf(stderr, "make_corpus: cannot write %s: %s\n", path.c_str(),
                     error ? lodepng_error_text(error) : "file error");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string out = argv[1];
    const bool ok = save(out, "desktop_1920x1080.png", desktop(1)) && save(out, "desktop_3840x2160.png", desktop(2)) &&
                    save(out, "gradient_3840x2160.png", gradient()) && save(out, "flat_3840x2160.png", flat()) &&
                    save(out, "photo_3840x2160.png", photo()) && save(out, "noise_3840x2160.png", noise(), true);
    return ok ? 0 : 1;
}
