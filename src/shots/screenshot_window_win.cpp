// The "Capped" window procedure. Until screenshot windows are made, plain
// default behaviour.
#include "shots/shots.h"

LRESULT CALLBACK screenshotWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(hwnd, msg, wp, lp);
}
