// The low-level keyboard hook. It only watches: every key goes on to the next
// hook. It runs on the GUI thread between two of its messages, so it does no
// more than the Escape cancel and posting the capture request; the capture
// itself runs from the tray window.
#include "app/app.h"
#include "state/app_state.h"
#include "app/decisions.h"
#include "capture/capture_front.h"
#include "selection/selection.h"

namespace {

void onHookKey(int code, WPARAM wp, LPARAM lp) {
    // The key record is only read for HC_ACTION; other codes are passed on untouched.
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
    const DWORD virtualKey = code == HC_ACTION && key ? key->vkCode : 0;
    switch (classifyHookKey(code, wp, virtualKey, app.captureActive)) {
    case HookKey::cancelCapture:
        tearDownSelection();
        releaseFrozenDesktop(app.frozenDesktop);
        app.escapeCancelledCapture = true; // until released: a pin that gets the keyboard now ignores it
        break;
    case HookKey::printScreenReleased:
        if (!(GetAsyncKeyState(VK_CONTROL) & 0x8000))
            PostMessageA(app.trayWindow, captureRequestMessage, 0, 0);
        break;
    case HookKey::other:
        if (virtualKey == VK_ESCAPE && (wp == WM_KEYUP || wp == WM_SYSKEYUP))
            app.escapeCancelledCapture = false;
        break;
    }
}

} // namespace

LRESULT CALLBACK keyboardHookProc(int code, WPARAM wp, LPARAM lp) {
    // The same guard as the window procedures: no exception crosses the system's call.
    runOrEndProcess([&] { onHookKey(code, wp, lp); });
    return CallNextHookEx(nullptr, code, wp, lp);
}
