// Window procedures of the overlays and the selection rectangle. Until the
// selection is built they behave as plain windows.
#include "selection/selection.h"

LRESULT CALLBACK overlayWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK selectionWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(hwnd, msg, wp, lp);
}
