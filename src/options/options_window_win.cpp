// The options window. Not built yet: "Options" opens nothing.
#include "options/options.h"

void openOptionsWindow(std::int32_t) {}

LRESULT CALLBACK optionsWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(hwnd, msg, wp, lp);
}
