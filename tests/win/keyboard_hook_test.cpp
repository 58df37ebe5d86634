// The keyboard hook after the GUI thread was kept busy: the system removes a
// low-level hook that answered too late and says nothing, so the message loop
// installs it again after any message that took that long. The removal is
// made here with UnhookWindowsHookEx, as the system would make it.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "app/app.h"
#include "state/app_state.h"
#include "app/decisions.h"

namespace {

constexpr UINT busyMessage = WM_APP + 7; // wParam: milliseconds the handling takes

LRESULT CALLBACK busyWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == busyMessage) {
        Sleep(static_cast<DWORD>(wp));
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// PrintScreen pressed and released by another thread, as a keyboard would;
// whether the hook asked the tray window for a capture. The system calls the
// hook on this thread while it waits for messages, so it pumps meanwhile.
MSG busyFor(HWND window, WPARAM milliseconds) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = busyMessage;
    msg.wParam = milliseconds;
    return msg;
}

bool printScreenAsksForACapture() {
    MSG msg{};
    while (PeekMessageA(&msg, app.trayWindow, captureRequestMessage, captureRequestMessage, PM_REMOVE)) {
    }
    std::thread keyboard([] {
        INPUT keys[2]{};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = keys[1].ki.wVk = VK_SNAPSHOT;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, keys, sizeof(INPUT));
    });
    bool asked = false;
    const ULONGLONG end = GetTickCount64() + 1500;
    while (!asked && GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == app.trayWindow && msg.message == captureRequestMessage)
                asked = true;
            else
                DispatchMessageA(&msg);
        }
    }
    keyboard.join();
    return asked;
}

TEST(KeyboardHook, AMessageThatKeptTheThreadBusyInstallsALostHookAgain) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = busyWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "OrvaneBusyTestWindow";
    RegisterClassA(&windowClass);
    const HWND busy = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                      windowClass.hInstance, nullptr);
    ASSERT_NE(busy, nullptr);
    app.trayWindow = busy; // the hook posts its capture requests here
    installKeyboardHook();
    ASSERT_NE(app.keyboardHook, nullptr);
    ASSERT_TRUE(printScreenAsksForACapture());

    UnhookWindowsHookEx(app.keyboardHook); // what the system does to a hook that timed out
    ASSERT_FALSE(printScreenAsksForACapture()) << "the hook was not really gone";

    dispatchWatchingTheHook(busyFor(busy, 0));
    EXPECT_FALSE(printScreenAsksForACapture()) << "a quick message needs no new hook";

    dispatchWatchingTheHook(busyFor(busy, 2 * hookStallMs));
    EXPECT_TRUE(printScreenAsksForACapture()) << "PrintScreen is dead after a busy stretch";

    UnhookWindowsHookEx(app.keyboardHook);
    app.keyboardHook = nullptr;
    app.trayWindow = nullptr;
    DestroyWindow(busy);
}

} // namespace
