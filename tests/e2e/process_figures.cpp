// Process figures; see process_figures.h.
#include "process_figures.h"

#include <psapi.h>

#include <cstdio>

#include "session.h"

namespace driver {

namespace {

BOOL CALLBACK countWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<std::size_t*>(count);
    return TRUE;
}

std::size_t windowsOf(DWORD id) {
    std::size_t count = 0;
    for (HWND window : topLevelWindows(id)) {
        ++count;
        EnumChildWindows(window, countWindow, reinterpret_cast<LPARAM>(&count));
    }
    return count;
}

} // namespace

std::optional<ProcessFigures> processFigures(DWORD id) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (!process)
        return std::nullopt;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    std::optional<ProcessFigures> figures;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        figures = ProcessFigures{};
        // Wine leaves PrivateUsage at 0 and fills PagefileUsage, which Windows
        // documents as the same commit charge.
        figures->privateBytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
        figures->gdiObjects = GetGuiResources(process, GR_GDIOBJECTS);
        figures->userObjects = GetGuiResources(process, GR_USEROBJECTS);
        figures->windows = windowsOf(id);
    }
    CloseHandle(process);
    return figures;
}

long gdiLedger(HWND trayWindow) {
    static const UINT message = RegisterWindowMessageA("OrvaneGdiLedger");
    DWORD_PTR reply = 0;
    if (!SendMessageTimeoutA(trayWindow, message, 0, 0, SMTO_ABORTIFHUNG, 5000, &reply) || reply == 0)
        return -1;
    return static_cast<long>(reply) - 1;
}

std::string megabytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024.0));
    return text;
}

} // namespace driver
