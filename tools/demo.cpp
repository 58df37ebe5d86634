// The `make run` demonstration on a desktop without a user: starts Orvane
// with a fresh profile, opens its tray menu as a user would, then captures a
// known desktop: PrintScreen, a drag, the pinned screenshot window over a
// changed desktop, its cache file; chooses Exit, and logs every step.
// Usage: orvane_demo OUTPUT_FOLDER (writes desktop.png, selecting.png,
// pinned.png, the cache file and run.log there).
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include <lodepng.h>

#include "pictures.h"
#include "session.h"

using namespace driver;

namespace {

class Log {
public:
    explicit Log(const std::string& path) : file_(path), start_(GetTickCount64()) {}
    void operator()(const std::string& line) {
        char stamp[32];
        std::snprintf(stamp, sizeof(stamp), "[%6.3f s] ", static_cast<double>(GetTickCount64() - start_) / 1000.0);
        file_ << stamp << line << "\n";
        file_.flush();
        std::printf("%s%s\n", stamp, line.c_str());
        std::fflush(stdout);
    }

private:
    std::ofstream file_;
    ULONGLONG start_;
};

std::string describe(const RECT& r) {
    std::ostringstream text;
    text << "(" << r.left << ", " << r.top << ") " << (r.right - r.left) << "x" << (r.bottom - r.top);
    return text.str();
}

int fail(Log& log, const std::string& why) {
    log("FAILED: " + why);
    return 1;
}

// The known desktop: the desktop picture the build makes (tests/corpus), cut
// to the screen's size, or the driver's own test picture when it is not there.
Picture knownDesktop(int width, int height, std::string& source) {
    std::vector<unsigned char> rgba;
    unsigned w = 0, h = 0;
    const std::string path = std::string(ORVANE_CORPUS_DIR) + "/desktop_1920x1080.png";
    if (lodepng::decode(rgba, w, h, path) == 0 && static_cast<int>(w) >= width && static_cast<int>(h) >= height) {
        Picture picture;
        picture.width = width;
        picture.height = height;
        picture.bgra.resize(static_cast<std::size_t>(width) * height * 4);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const unsigned char* from = &rgba[(static_cast<std::size_t>(y) * w + x) * 4];
                std::uint8_t* to = &picture.bgra[(static_cast<std::size_t>(y) * width + x) * 4];
                to[0] = from[2], to[1] = from[1], to[2] = from[0], to[3] = 255;
            }
        source = path;
        return picture;
    }
    source = "the driver's test picture (no " + path + ")";
    return testPicture(width, height);
}

std::string describeShot(const Picture& shot) { return std::to_string(shot.width) + "x" + std::to_string(shot.height); }

// PrintScreen, a drag, the pinned window and its cache file, on a known desktop.
int demonstrateCapture(Log& log, const std::string& out, Session& orvane) {
    const Picture screen = grabScreen();
    std::string source;
    const Picture desktop = knownDesktop(screen.width, screen.height, source);
    moveMouse({screen.width / 2, screen.height / 2}); // away from the icon and its tip
    PatternWindow wallpaper({0, 0}, desktop);
    log("known desktop shown full screen: " + source);
    if (!waitUntil(
            [&] {
                return screenPixel({screen.width / 2, screen.height / 2}) ==
                       desktop.pixel(screen.width / 2, screen.height / 2);
            },
            3000))
        return fail(log, "the known desktop did not appear");
    // Wine's tray window in front of it again, as a desktop would have it.
    if (const HWND tray = FindWindowA("__winex11_standalone_tray", nullptr)) {
        SetWindowPos(tray, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        painted(tray);
    }
    const Picture before = settledScreen();

    log("pressing and releasing PrintScreen");
    orvane.settle();
    pressKey(VK_SNAPSHOT);
    const double pressed = nowMs();
    const auto frozen = msUntil([&] { return !orvane.overlays().empty(); }, pressed, 5000);
    if (!frozen)
        return fail(log, "no overlay after PrintScreen");
    const std::vector<HWND> overlays = orvane.overlays();
    waitUntilResponsive(overlays.front(), 5000); // taking input
    log("screen frozen after " + std::to_string(static_cast<int>(*frozen)) + " ms: " + std::to_string(overlays.size()) +
        " \"" + std::string(overlayClass) + "\" overlay(s) at " + describe(windowRect(overlays.front())));

    // The live desktop changes under the overlays; the frozen picture stays.
    wallpaper.show(dimmed(desktop, 35));
    painted(wallpaper.window());
    const bool stillFrozen = settledScreen().sameColours(before);
    log(std::string("desktop dimmed underneath; the overlay still shows the old screen pixel for pixel: ") +
        (stillFrozen ? "yes" : "NO"));

    const RECT rect{screen.width * 30 / 100, screen.height * 22 / 100, screen.width * 71 / 100,
                    screen.height * 64 / 100};
    log("dragging from (" + std::to_string(rect.left) + ", " + std::to_string(rect.top) + ") to (" +
        std::to_string(rect.right) + ", " + std::to_string(rect.bottom) + ")");
    if (!orvane.pressInOverlay({rect.left, rect.top}))
        return fail(log, "no selection window after the press");
    for (int i = 1; i <= 10; ++i) {
        const POINT at{rect.left + (rect.right - rect.left) * i / 10, rect.top + (rect.bottom - rect.top) * i / 10};
        moveMouse(at);
        inputTaken(at);
    }
    const RECT spanned = rect;
    waitUntil(
        [&] {
            nudgeMouse({rect.right, rect.bottom}); // the selection trails the pointer by one move
            const RECT at = windowRect(orvane.selectionWindow());
            return EqualRect(&at, &spanned) != FALSE;
        },
        3000);
    if (const HWND selection = orvane.selectionWindow())
        log("selection window \"" + std::string(selectionClass) + "\" over " + describe(windowRect(selection)) +
            " (layered, alpha 50: a tint where a compositing manager runs, as scripts/run starts)");
    const Picture selecting = settledScreen();
    selecting.savePng(out + "selecting.png");
    log("picture while dragging: " + out + "selecting.png");

    buttonUp();
    const double released = nowMs();
    const auto pinned = msUntil([&] { return !orvane.screenshots().empty(); }, released, 5000);
    if (!pinned)
        return fail(log, "no screenshot window after the release");
    const HWND shot = orvane.screenshots().front();
    log("pinned window \"" + std::string(screenshotClass) + "\" after " + std::to_string(static_cast<int>(*pinned)) +
        " ms at " + describe(windowRect(shot)) + "; overlays left: " + std::to_string(orvane.overlays().size()));
    const RECT inner{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1};
    waitUntil([&] { return grabScreen().crop(inner).sameColours(before.crop(inner)); }, 3000);
    const Picture after = settledScreen();
    const bool exact = after.crop(inner).sameColours(before.crop(inner));
    const COLORREF frame = expectedFrameColor(before.crop(rect));
    char frameText[64];
    std::snprintf(frameText, sizeof frameText, "RGB(%d, %d, %d)", GetRValue(frame), GetGValue(frame), GetBValue(frame));
    log(std::string("the pinned window shows the frozen pixels exactly: ") + (exact ? "yes" : "NO") + "; its frame: " +
        frameText + (after.pixel(rect.left, rect.top) == frame ? " (as expected)" : " (NOT as expected)"));
    after.savePng(out + "pinned.png");
    log("picture of the pinned window over the dimmed desktop: " + out + "pinned.png");

    if (!waitUntil([&] { return !cacheImageFiles().empty(); }, 2000))
        return fail(log, "no cache file within 2 s");
    const std::string name = cacheImageFiles().front();
    const DWORD attributes = GetFileAttributesA(cacheFolder().c_str());
    Picture saved;
    waitUntil([&] { return (saved = decodeImageFile(cacheFolder() + name)).width > 0; }, 2000);
    log("cache file " + cacheFolder() + name + " (" + describeShot(saved) +
        "), folder hidden: " + ((attributes & FILE_ATTRIBUTE_HIDDEN) ? "yes" : "no") +
        ", same pixels as the selection: " + (saved.sameColours(before.crop(rect)) ? "yes" : "NO"));
    if (!CopyFileA((cacheFolder() + name).c_str(), (out + name).c_str(), FALSE))
        return fail(log, "could not copy the cache file to " + out);
    log("cache file copied to " + out + name);
    wallpaper.show(desktop);
    return exact && stillFrozen ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvane_demo OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string out = std::string(argv[1]) + "\\";
    Log log(out + "run.log");

    log("fresh profile: removing " + settingsFolder());
    resetProfile();
    writeFile(cacheFolder() + "1700000000_1.png", "left over from an earlier run");
    writeFile(cacheFolder() + "readme.txt", "not an image: stays");
    log("cache folder " + cacheFolder() + " holds 1700000000_1.png and readme.txt");

    const std::vector<HWND> before = trayIcons();
    log("starting " + orvanePath());
    Session orvane;
    if (!orvane.start())
        return fail(log, "start-up: " + orvane.failure());
    log("started: process " + std::to_string(orvane.id()) + ", hidden tray window \"" + className(orvane.trayWindow()) +
        "\", notification icon at " + describe(windowRect(orvane.icon())));
    int visible = 0;
    for (HWND window : topLevelWindows(orvane.id()))
        visible += IsWindowVisible(window) ? 1 : 0;
    log("visible windows of Orvane: " + std::to_string(visible));
    std::string kept;
    for (const std::string& name : fileNamesIn(cacheFolder()))
        kept += " " + name;
    log("cache folder after start-up:" + kept);

    Process second;
    const auto secondCode = second.waitForExit(3000);
    log("a second orvane.exe ended with code " + (secondCode ? std::to_string(*secondCode) : "(still running)") +
        "; icons in the tray: " + std::to_string(trayIcons().size()));

    log("clicking the notification icon");
    const HWND menu = orvane.openTrayMenu();
    if (!menu)
        return fail(log, "the tray menu did not open");
    log("tray menu open at " + describe(windowRect(menu)) + ": Begin Capture, Options, Close All, Exit");
    painted(menu);
    const Picture desktop = settledScreen();
    if (!desktop.savePng(out + "desktop.png"))
        return fail(log, "could not write desktop.png");
    log("desktop picture: " + out + "desktop.png (" + std::to_string(desktop.width) + "x" +
        std::to_string(desktop.height) + ")");

    pressKey(VK_ESCAPE);
    waitUntil([&] { return !popupMenuOpen(orvane.id()); }, 3000);
    const int captured = demonstrateCapture(log, out, orvane);
    if (captured != 0)
        log("the capture demonstration did not go as it should");

    log("choosing Exit");
    const HWND exitMenu = orvane.openTrayMenu();
    if (!exitMenu)
        return fail(log, "the tray menu did not open for Exit");
    double chosen = 0;
    orvane.chooseMenuItem(exitMenu, exitItem, trayItemCount, &chosen);
    const auto code = orvane.process().waitForExit(5000);
    if (!code)
        return fail(log, "Orvane did not end within 5 s");
    log("Orvane ended with code " + std::to_string(*code) + " after " +
        std::to_string(static_cast<long long>(nowMs() - chosen)) + " ms");
    waitUntil([&] { return trayIcons().size() == before.size(); }, 2000);
    log("icons left in the tray: " + std::to_string(trayIcons().size()));
    log("cache files left after Exit: " + std::to_string(cacheImageFiles().size()));
    return *code == 0 && captured == 0 ? 0 : 1;
}
