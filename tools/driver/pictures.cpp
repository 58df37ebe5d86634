// Pictures for the driver; see pictures.h.
#include "pictures.h"

#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include <lodepng.h>

#include "automation.h"

namespace driver {

namespace {

// A 32-bit top-down device-independent bitmap of this size.
BITMAPINFO topDownInfo(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    return info;
}

} // namespace

COLORREF Picture::pixel(int x, int y) const {
    x -= origin.x;
    y -= origin.y;
    if (x < 0 || y < 0 || x >= width || y >= height)
        return CLR_INVALID;
    const std::uint8_t* p = &bgra[(static_cast<std::size_t>(y) * width + x) * 4];
    return RGB(p[2], p[1], p[0]);
}

bool Picture::savePng(const std::string& path) const {
    std::vector<std::uint8_t> rgba(bgra.size());
    for (std::size_t i = 0; i + 3 < bgra.size(); i += 4) {
        rgba[i] = bgra[i + 2];
        rgba[i + 1] = bgra[i + 1];
        rgba[i + 2] = bgra[i];
        rgba[i + 3] = 255;
    }
    return lodepng::encode(path, rgba, static_cast<unsigned>(width), static_cast<unsigned>(height)) == 0;
}

std::vector<RECT> monitors() {
    std::vector<RECT> all;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR, HDC, LPRECT rect, LPARAM found) {
            reinterpret_cast<std::vector<RECT>*>(found)->push_back(*rect);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

bool setDisplayMode(DWORD width, DWORD height) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsExA(nullptr, &mode, nullptr, 0, nullptr) == DISP_CHANGE_SUCCESSFUL;
}

Picture grabScreen() {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    Picture whole = grabScreen(
        RECT{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN), top + GetSystemMetrics(SM_CYVIRTUALSCREEN)});
    whole.origin = {left, top};
    return whole;
}

Picture settledScreen(DWORD timeoutMs) {
    Picture last = grabScreen();
    // The grab before, swapped for a new one, compared with it.
    waitUntil([&] { return std::exchange(last, grabScreen()).sameColours(last); }, timeoutMs);
    return last;
}

namespace {

// X leaves what lies outside every monitor undefined, and two reads of it may differ: black, as a
// capture shows it.
void blackenOutsideMonitors(Picture& picture, const RECT& area) {
    const std::vector<RECT> heads = monitors();
    for (const RECT& head : heads)
        if (area.left >= head.left && area.top >= head.top && area.right <= head.right && area.bottom <= head.bottom)
            return;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const LONG atX = area.left + x, atY = area.top + y;
            if (std::none_of(heads.begin(), heads.end(), [&](const RECT& head) {
                    return atX >= head.left && atX < head.right && atY >= head.top && atY < head.bottom;
                }))
                std::memset(&picture.bgra[(static_cast<std::size_t>(y) * picture.width + x) * 4], 0, 4);
        }
}

} // namespace

Picture grabScreen(const RECT& area) {
    Picture shot{area.right - area.left, area.bottom - area.top, {}};
    if (shot.width <= 0 || shot.height <= 0)
        return {};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    const BITMAPINFO info = topDownInfo(shot.width, shot.height);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, shot.width, shot.height, screen, area.left, area.top, SRCCOPY);
        GdiFlush();
        const auto* bytes = static_cast<const std::uint8_t*>(bits);
        shot.bgra.assign(bytes, bytes + static_cast<std::size_t>(shot.width) * shot.height * 4);
        SelectObject(memory, previous);
    }
    DeleteObject(bitmap); // both take null
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (shot.bgra.empty())
        return {};
    blackenOutsideMonitors(shot, area);
    return shot;
}

Picture Picture::crop(const RECT& rect) const {
    Picture part;
    const LONG left = std::max<LONG>(rect.left - origin.x, 0), top = std::max<LONG>(rect.top - origin.y, 0);
    const LONG right = std::min<LONG>(rect.right - origin.x, width);
    const LONG bottom = std::min<LONG>(rect.bottom - origin.y, height);
    if (right <= left || bottom <= top)
        return part;
    part.width = right - left;
    part.height = bottom - top;
    part.bgra.resize(static_cast<std::size_t>(part.width) * part.height * 4);
    for (int y = 0; y < part.height; ++y)
        std::copy_n(&bgra[(static_cast<std::size_t>(top + y) * width + left) * 4],
                    static_cast<std::size_t>(part.width) * 4, &part.bgra[static_cast<std::size_t>(y) * part.width * 4]);
    return part;
}

bool Picture::sameColours(const Picture& other) const {
    if (width != other.width || height != other.height || bgra.size() != other.bgra.size())
        return false;
    for (std::size_t i = 0; i + 3 < bgra.size(); i += 4)
        if (bgra[i] != other.bgra[i] || bgra[i + 1] != other.bgra[i + 1] || bgra[i + 2] != other.bgra[i + 2])
            return false;
    return true;
}

COLORREF screenPixel(POINT at) {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

Picture testPicture(int width, int height, int variant) {
    Picture picture{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4)};
    const auto shade = [&](int value) { return static_cast<std::uint8_t>((value + variant * 97) & 0xFF); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &picture.bgra[(static_cast<std::size_t>(y) * width + x) * 4];
            // Blue ground with a little texture, so neighbouring pixels differ.
            std::uint8_t blue = shade(200 + (x * 7 + y * 3) % 40), green = shade(40 + (x + y) % 16), red = shade(30);
            const int u = x * 10 / width, v = y * 10 / height;
            const bool stem = u >= 2 && u <= 3 && v >= 1 && v <= 8;
            const bool top = v == 1 && u >= 2 && u <= 7;
            const bool middle = v == 4 && u >= 2 && u <= 5;
            if (stem || top || middle)
                blue = shade(20), green = shade(10), red = shade(230);
            if (v == 9)
                blue = shade(0), green = shade(220), red = shade(0);
            if (u >= 8 && v <= 2)
                blue = shade(x * 255 / width), green = shade(y * 255 / height), red = shade(128);
            p[0] = blue;
            p[1] = green;
            p[2] = red;
            p[3] = 255;
        }
    return picture;
}

namespace {

template <typename T> void releaseCom(T*& pointer) {
    if (pointer)
        pointer->Release();
    pointer = nullptr;
}

} // namespace

Picture decodeImageFile(const std::string& path) {
    Picture picture;
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    wchar_t widePath[MAX_PATH * 4] = {}; // in the code page the narrow file calls use
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH * 4);
    UINT width = 0, height = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                                   reinterpret_cast<void**>(&factory))) &&
        SUCCEEDED(factory->CreateDecoderFromFilename(widePath, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                     &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
        SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                        WICBitmapPaletteTypeCustom)) &&
        SUCCEEDED(converter->GetSize(&width, &height))) {
        std::vector<std::uint8_t> bgra(static_cast<std::size_t>(width) * height * 4);
        if (SUCCEEDED(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(bgra.size()), bgra.data())))
            picture = {static_cast<int>(width), static_cast<int>(height), std::move(bgra)};
    }
    releaseCom(converter);
    releaseCom(frame);
    releaseCom(decoder);
    releaseCom(factory);
    if (SUCCEEDED(initialised))
        CoUninitialize();
    return picture;
}

Picture dimmed(const Picture& picture, int percent) {
    Picture darker = picture;
    for (std::size_t i = 0; i < darker.bgra.size(); ++i)
        if (i % 4 != 3)
            darker.bgra[i] = static_cast<std::uint8_t>(darker.bgra[i] * percent / 100);
    return darker;
}

COLORREF expectedFrameColor(const Picture& cut) {
    std::uint32_t sum[3] = {}, count = 0;
    for (int y = 0; y < cut.height; ++y)
        for (int x = 0; x < cut.width; ++x) {
            if (x != 0 && y != 0 && x != cut.width - 1 && y != cut.height - 1)
                continue;
            const std::uint8_t* p = &cut.bgra[(static_cast<std::size_t>(y) * cut.width + x) * 4];
            for (int c = 0; c < 3; ++c)
                sum[c] += p[c];
            ++count;
        }
    // sum[0] is blue: it becomes the red component.
    return RGB(255 - sum[0] / count, 255 - sum[1] / count, 255 - sum[2] / count);
}

constexpr UINT showPictureMessage = WM_APP + 7;
constexpr const char* patternClass = "OrvaneDriverPattern";

PatternWindow::PatternWindow(POINT topLeft, const Picture& picture) : picture_(picture) {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this, topLeft, ready] { run(topLeft, ready); });
    WaitForSingleObject(ready, 10000);
    CloseHandle(ready);
}

PatternWindow::~PatternWindow() {
    if (threadId_)
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    if (thread_.joinable())
        thread_.join();
}

RECT PatternWindow::rect() const { return windowRect(window_); }

void PatternWindow::show(const Picture& picture) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        picture_ = picture;
    }
    SendMessageA(window_, showPictureMessage, 0, 0);
}

void PatternWindow::moveTo(POINT topLeft) {
    SetWindowPos(window_, nullptr, topLeft.x, topLeft.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK PatternWindow::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<PatternWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(hwnd, &paint);
        if (self) {
            std::lock_guard<std::mutex> hold(self->lock_);
            const Picture& p = self->picture_;
            const BITMAPINFO info = topDownInfo(p.width, p.height);
            SetDIBitsToDevice(dc, 0, 0, p.width, p.height, 0, 0, 0, p.height, p.bgra.data(), &info, DIB_RGB_COLORS);
        }
        EndPaint(hwnd, &paint);
        return 0;
    }
    case showPictureMessage:
        InvalidateRect(hwnd, nullptr, FALSE);
        UpdateWindow(hwnd);
        GdiFlush();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void PatternWindow::run(POINT topLeft, HANDLE ready) {
    WNDCLASSA record{};
    record.lpfnWndProc = windowProc;
    record.hInstance = GetModuleHandleA(nullptr);
    record.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    record.lpszClassName = patternClass;
    RegisterClassA(&record); // fails, harmlessly, for every window but the first
    threadId_ = GetCurrentThreadId();
    // No lock: show() cannot come before the constructor has returned.
    window_ = CreateWindowExA(WS_EX_TOOLWINDOW, patternClass, "pattern", WS_POPUP, topLeft.x, topLeft.y, picture_.width,
                              picture_.height, nullptr, nullptr, record.hInstance, nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    UpdateWindow(window_);
    SetEvent(ready);
    MSG msg{};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    DestroyWindow(window_);
}

} // namespace driver
