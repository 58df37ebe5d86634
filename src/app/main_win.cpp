// Process entry of orvane.exe.
#include "app/app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Before anything loads a library: what the dialogs, OLE and theming load
    // later comes from System32 only, never from the folder the program was
    // unpacked into (Downloads, a shared tools folder) nor the current one.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    SetDllDirectoryW(L"");
    return runOrvane(instance);
}
