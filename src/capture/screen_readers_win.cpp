// The screen readers; see screen_readers.h. Reader i reads band i of every
// capture; bands beyond the readers that could start are read on the GUI thread.
#include <windows.h>

#include <algorithm>
#include <limits>

#include "state/app_state.h"
#include "state/handle_guards.h"
#include "capture/capture.h"
#include "capture/capture_front.h"
#include "capture/reader_pool.h"
#include "capture/screen_readers.h"

namespace {

// The capture being read; set before a round begins, read by the readers during it.
const FrozenDesktop* reading = nullptr;

// Under Wine each read passes through a buffer of its size that the reading
// thread's heap keeps afterwards, so there a band is read a few rows at a
// time: 256 KB reads kept about 3 MB over four readers, whole bands 2.6 times
// the screen, for the same speed within a few milliseconds. Windows keeps no
// such buffer; there a band stays one read, as the whole screen was before.
std::int32_t bytesPerRead() {
    static const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    return wine ? 256 * 1024 : std::numeric_limits<std::int32_t>::max();
}

// `height` rows of the screen from desktop row `screenTop` on into `memory` from its top row.
bool readRows(HDC memory, HDC screen, std::int32_t width, std::int32_t height, std::int32_t screenX,
              std::int32_t screenTop) {
    const std::int32_t rowsPerRead = std::max<std::int32_t>(1, bytesPerRead() / (std::max<std::int32_t>(width, 1) * 4));
    for (std::int32_t row = 0; row < height; row += rowsPerRead)
        if (!BitBlt(memory, 0, row, width, std::min(rowsPerRead, height - row), screen, screenX, screenTop + row,
                    SRCCOPY))
            return false;
    return GdiFlush() != FALSE;
}

bool readBand(const FrozenDesktop& desktop, std::size_t index) {
    if (index >= desktop.bands.size())
        return true;
    const FrozenBand& band = desktop.bands[index];
    const DisplayDc screen;
    return screen.get() && readRows(band.memoryDC, screen.get(), desktop.width, band.height, desktop.originX,
                                    desktop.originY + band.top);
}

// Two reads of this reader's band of the screen as it is now, into a block
// made for them and freed after: what the first capture would otherwise pay.
void warmUp(std::size_t index) {
    const std::int32_t width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const BandRows rows = screenBand(height, static_cast<std::uint32_t>(index));
    const DisplayDc screen;
    FrozenBand scratch;
    if (width <= 0 || rows.height <= 0 || !screen.get() || !makeBand(screen.get(), width, rows, scratch))
        return;
    for (int read = 0; read < 2; ++read)
        readRows(scratch.memoryDC, screen.get(), width, rows.height, GetSystemMetrics(SM_XVIRTUALSCREEN),
                 GetSystemMetrics(SM_YVIRTUALSCREEN) + rows.top);
    releaseBand(scratch);
}

ReaderPool& readers() {
    static ReaderPool pool(warmUp, [](std::size_t index) { return readBand(*reading, index); });
    return pool;
}

} // namespace

void startScreenReaders() { readers().start(screenBandLimit); }

void beginReadingBands(const FrozenDesktop& desktop) {
    startScreenReaders();
    reading = &desktop;
    readers().begin();
}

bool finishReadingBands() {
    ReaderPool& pool = readers();
    bool read = pool.finish();
    for (std::size_t i = pool.size(); i < reading->bands.size(); ++i)
        read = readBand(*reading, i) && read;
    return read;
}
