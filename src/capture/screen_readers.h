// The screen reads of a capture: one thread per band of rows, living from
// start-up to the process end. Under Wine a thread's first reads of a size
// are slow (each opens a display connection and grows the buffers the
// picture comes through), so each reader makes its first two reads before any
// capture needs it, and keeps what they set up.
#pragma once

#include <windows.h>

#include "capture/capture.h"

struct FrozenBand;
struct FrozenDesktop;

// A band of `rows.height` rows of a screen `width` pixels wide, with its own
// memory DC; on failure whatever was made is released.
bool makeBand(HDC screen, std::int32_t width, BandRows rows, FrozenBand& band);
void releaseBand(FrozenBand& band);

// Hands every band of `desktop` to its reader and returns at once; the caller
// goes on with other work until finishReadingBands. `desktop` stays untouched
// until then.
void beginReadingBands(const FrozenDesktop& desktop);
// Waits for the readers; a band no reader took is read on this thread. True
// when every band was read.
bool finishReadingBands();
