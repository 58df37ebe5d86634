// Win32 half of the monitor table: EnumDisplayMonitors over the whole desktop.
#include <windows.h>

#include <exception>

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
