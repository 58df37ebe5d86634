// The GDI ledger's counts; see gdi_ledger.h. GUI thread only, like every GDI call here.
#include "state/gdi_ledger.h"

#ifdef ORVANE_GDI_LEDGER

namespace {

long liveObjects = 0;

} // namespace

void gdiLedgerMade(const void* handle) {
    if (handle)
        ++liveObjects;
}

void gdiLedgerGone(BOOL deleted) {
    if (deleted)
        --liveObjects;
}

UINT gdiLedgerMessage() {
    static const UINT message = RegisterWindowMessageA("OrvaneGdiLedger");
    return message;
}

LRESULT gdiLedgerReply() { return liveObjects + 1; }

#endif
