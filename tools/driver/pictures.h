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
    // Where pixel (0, 0) lies on the desktop: pixel() and crop() take desktop
    // coordinates. The whole screen's starts left of or above 0 on some desks.
    POINT origin{0, 0};
    COLORREF pixel(int x, int y) const;
    bool savePng(const std::string& path) const;
    // The part inside `rect` (clipped to the picture).
    Picture crop(const RECT& rect) const;
    // Same size and the same blue, green and red bytes everywhere (alpha is not compared).
    bool sameColours(const Picture& other) const;
};

// The monitors' rectangles on the desktop, in the system's order.
std::vector<RECT> monitors();
// The primary monitor switched to another resolution, as its settings page would do it.
bool setDisplayMode(DWORD width, DWORD height);
Picture grabScreen();
// Only the rectangle `area` of the screen (`pixel` then takes coordinates in it).
Picture grabScreen(const RECT& area);
// The screen once two grabs in a row agree: nothing is still being drawn
// (Wine shows a window's pixels a moment after it painted them).
Picture settledScreen(DWORD timeoutMs = 3000);
// One pixel of the screen, read straight from the screen DC.
COLORREF screenPixel(POINT at);

// A red "F" on a blue ground with a green bar along the bottom and a gradient
// in the top-right corner, so that row flips, mirror images and channel swaps
// all show. `variant` shifts the colours.
Picture testPicture(int width, int height, int variant = 0);
// Image files as they decode: PNG (LodePNG), BMP (24 or 32 bits), JPEG
// (the system's imaging component). Empty on failure.
Picture decodeImageFile(const std::string& path);
// A picture with every colour scaled by percent / 100.
Picture dimmed(const Picture& picture, int percent);
// The frame a screenshot window draws around `cut`: 255 minus the average of
// the edge pixels, with the averages of red and blue trading places.
COLORREF expectedFrameColor(const Picture& cut);

// A borderless window on a thread of its own that shows a picture pixel for
// pixel; it can be repainted or moved while the test runs.
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
