// The low-level keyboard hook. It only watches: every key goes on to the next
// hook. PrintScreen and Escape get their meaning with the capture.
#include "app/app.h"

LRESULT CALLBACK keyboardHookProc(int code, WPARAM wp, LPARAM lp) { return CallNextHookEx(nullptr, code, wp, lp); }
