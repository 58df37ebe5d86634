// What a running process holds, read from outside: private bytes and its GDI
// and USER object counts, for the long-run and memory scenarios.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace driver {

struct ProcessFigures {
    std::uint64_t privateBytes = 0; // the commit charge
    // 0 under Wine, which does not count them (GetGuiResources is not implemented there).
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
    std::size_t windows = 0; // its windows, children included
};

// The figures of process `id`; nothing when it cannot be opened or asked.
std::optional<ProcessFigures> processFigures(DWORD id);

// The GDI objects orvane_gdi_ledger.exe counts as made and not deleted, asked
// of its tray window; -1 from a program without the ledger.
long gdiLedger(HWND trayWindow);

// "12.3 MB"
std::string megabytes(double bytes);

} // namespace driver
