// Region selection: the per-monitor overlay windows ("Screen Capture") and the
// translucent selection rectangle ("Screen Capture2").
#pragma once

#include <windows.h>

LRESULT CALLBACK overlayWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK selectionWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
