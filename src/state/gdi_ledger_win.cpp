// The GDI ledger's counts; see gdi_ledger.h. The screen reads of a capture
// make and delete their DCs on threads of their own.
#include "state/gdi_ledger.h"

#include <atomic>

#ifdef ORVANE_GDI_LEDGER

namespace {

std::atomic<long> liveObjects{0};

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

LRESULT gdiLedgerReply() { return liveObjects.load() + 1; }

#endif
