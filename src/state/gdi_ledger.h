// The GDI ledger: in a build made with ORVANE_GDI_LEDGER (the long-run test's
// orvane_gdi_ledger.exe) every GDI object the program makes or deletes passes
// through these, and the tray window answers the registered message
// "OrvaneGdiLedger" with the number still alive plus one. In every other
// build they are the plain calls.
#pragma once

#include <windows.h>

#ifdef ORVANE_GDI_LEDGER
void gdiLedgerMade(const void* handle);
void gdiLedgerGone(BOOL deleted);
UINT gdiLedgerMessage();
LRESULT gdiLedgerReply();
#else
inline void gdiLedgerMade(const void*) {}
inline void gdiLedgerGone(BOOL) {}
#endif

// Counts a handle just made (nothing when it is null) and gives it back.
template <class Handle> Handle countGdiObject(Handle handle) {
    gdiLedgerMade(handle);
    return handle;
}

inline BOOL gdiDeleteObject(HGDIOBJ object) {
    const BOOL deleted = DeleteObject(object);
    gdiLedgerGone(deleted);
    return deleted;
}

inline BOOL gdiDeleteDC(HDC dc) {
    const BOOL deleted = DeleteDC(dc);
    gdiLedgerGone(deleted);
    return deleted;
}

// An object now owned by the system (a bitmap the clipboard took).
inline void gdiHandedOver() { gdiLedgerGone(TRUE); }
