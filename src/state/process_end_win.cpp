// The fatal end every layer may take, and the icon it must not leave behind.
// Only lower layers are needed: the save worker (output) and the icon record
// in AppState.
#include <cstdlib>

#include "output/output.h"
#include "state/app_state.h"
#include "state/state.h"

void endProcess(ExitCode code) {
    stopSaveWorker();
    removeTrayIcon();
    std::exit(static_cast<int>(code));
}

void removeTrayIcon() {
    if (!app.trayIcon.hWnd)
        return;
    Shell_NotifyIconA(NIM_DELETE, &app.trayIcon);
    app.trayIcon.hWnd = nullptr;
}
