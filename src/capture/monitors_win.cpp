// Win32 half of the monitor table: EnumDisplayMonitors over the whole desktop,
// and the table of the moment kept in the app state.
#include <windows.h>

#include <exception>
#include <utility>

#include "state/app_state.h"
#include "capture/monitors.h"

namespace {

BOOL CALLBACK addMonitorEntry(HMONITOR, HDC, LPRECT bounds, LPARAM table) {
    // No exception may cross back into the system's enumeration.
    try {
        appendMonitor(*reinterpret_cast<MonitorTable*>(table), bounds->left, bounds->top, bounds->right,
                      bounds->bottom);
    } catch (const std::exception&) {
        return FALSE;
    }
    return TRUE;
}

} // namespace

bool enumerateMonitors(MonitorTable& table) {
    table.clear();
    return EnumDisplayMonitors(nullptr, nullptr, addMonitorEntry, reinterpret_cast<LPARAM>(&table)) != FALSE;
}

void refreshMonitors() {
    MonitorTable table;
    if (!enumerateMonitors(table) || table.empty())
        return;
    app.monitors = std::move(table);
    app.monitorCount = static_cast<std::uint32_t>(app.monitors.size());
}
