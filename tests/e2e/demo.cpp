// The `make run` demonstration on a desktop without a user: starts Orvane
// with a fresh profile, opens its tray menu as a user would, takes a picture
// of the desktop, chooses Exit, and logs every step.
// Usage: orvane_demo OUTPUT_FOLDER (writes desktop.png and run.log there).
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "driver.h"

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
    Process process;
    if (!process.started())
        return fail(log, "orvane.exe did not start");
    RunningOrvane orvane{process};
    if (!waitForStartUp(process, before, orvane))
        return fail(log, "no tray window or notification icon within 10 s");
    log("started: process " + std::to_string(process.id()) + ", hidden tray window \"" + className(orvane.trayWindow) +
        "\", notification icon at " + describe(windowRect(orvane.icon)));
    int visible = 0;
    for (HWND window : topLevelWindows(process.id()))
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
    const HWND menu = openTrayMenu(orvane);
    if (!menu)
        return fail(log, "the tray menu did not open");
    log("tray menu open at " + describe(windowRect(menu)) + ": Begin Capture, Options, Close All, Exit");
    Sleep(300); // let the menu paint
    const Screenshot desktop = grabScreen();
    if (!desktop.savePng(out + "desktop.png"))
        return fail(log, "could not write desktop.png");
    log("desktop picture: " + out + "desktop.png (" + std::to_string(desktop.width) + "x" +
        std::to_string(desktop.height) + ")");

    log("choosing Exit");
    clickMenuItem(menu, exitItem, trayItemCount);
    const ULONGLONG chosen = GetTickCount64();
    const auto code = process.waitForExit(5000);
    if (!code)
        return fail(log, "Orvane did not end within 5 s");
    log("Orvane ended with code " + std::to_string(*code) + " after " + std::to_string(GetTickCount64() - chosen) +
        " ms");
    waitUntil([&] { return trayIcons().size() == before.size(); }, 2000);
    log("icons left in the tray: " + std::to_string(trayIcons().size()));
    return *code == 0 ? 0 : 1;
}
