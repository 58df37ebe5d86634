// Pictures for the driver: grabs of the screen, image files decoded, the
// asymmetric test picture and a window of the driver's own that shows one.
// Pixels are top-down rows of blue, green, red and alpha bytes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace driver {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra;
    POINT origin{0, 0}; // of pixel (0, 0) on the desktop, whose coordinates pixel() and crop() take
    COLORREF pixel(int x, int y) const;
    bool savePng(const std::string& path) const;
    Picture crop(const RECT& rect) const; // clipped to the picture
    // Same size and the same blue, green and red bytes everywhere (alpha is not compared).
    bool sameColours(const Picture& other) const;
};

std::vector<RECT> monitors();                   // in the system's order
bool setDisplayMode(DWORD width, DWORD height); // of the primary monitor, as its settings page does it
Picture grabScreen();
Picture grabScreen(const RECT& area); // `pixel` then takes coordinates in `area`
// Once two grabs in a row agree (Wine shows a window's pixels a moment after it painted them).
Picture settledScreen(DWORD timeoutMs = 3000);
COLORREF screenPixel(POINT at); // straight from the screen DC

// A red "F" on a blue ground with a green bar along the bottom and a gradient
// in the top-right corner, so that row flips, mirror images and channel swaps
// all show. `variant` shifts the colours.
Picture testPicture(int width, int height, int variant = 0);
Picture decodeImageFile(const std::string& path); // by the system's imaging component; empty on failure
Picture dimmed(const Picture& picture, int percent);
// The frame a screenshot window draws around `cut`: 255 minus the average of
// the edge pixels, with the averages of red and blue trading places.
COLORREF expectedFrameColor(const Picture& cut);

// A borderless window on a thread of its own that shows a picture pixel for pixel.
class PatternWindow {
public:
    PatternWindow(POINT topLeft, const Picture& picture);
    ~PatternWindow();
    PatternWindow(const PatternWindow&) = delete;
    PatternWindow& operator=(const PatternWindow&) = delete;
    HWND window() const { return window_; }
    RECT rect() const;
    void show(const Picture& picture); // repainted before it returns
    void moveTo(POINT topLeft);

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void run(POINT topLeft, HANDLE ready);

    std::mutex lock_;
    Picture picture_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    std::thread thread_;
};

} // namespace driver
