// The capture front: freezes the virtual screen into app.frozenDesktop. The
// overlays that show it belong to the selection. GUI thread only.
#pragma once

#include <windows.h>

#include "state/pixel_rect.h"

struct FrozenDesktop;

// Freezing the whole virtual screen (GDI, then the HDR outputs by desktop
// duplication) into app.frozenDesktop's bands, reusing the last ones of the
// same size, in two halves: the first starts the screen reads and returns
// while they run, so that the caller can get on; the second waits for them.
// Each gives false, with nothing held, on failure; after a true begin the
// finish must follow.
bool beginFreezingDesktop();
bool finishFreezingDesktop();
// The alpha fill of the bands and the pixel copy that selections are
// cut from: nothing on the screen needs them, so they follow the first paint.
// Once per capture; later calls do nothing.
void keepFrozenPixels();
// Draws the frozen picture of `area` (desktop coordinates, inside the
// virtual screen) into `dc` at (0, 0); nothing while no capture is held.
void paintFrozenDesktop(HDC dc, const PixelRect& area);
// Frees whatever the frozen desktop holds: the bands and the pixel copy.
void releaseFrozenDesktop(FrozenDesktop& desktop);
// Makes the DXGI factory and describes the outputs, so that the first
// capture finds them ready; any failure there leaves the first capture to
// make its own. Once, from the message loop, after the tray icon is up.
void prepareDuplication();
// Starts the threads that read the screen beside the GUI thread at every
// capture (the first capture starts any still missing). Once, from the
// message loop, after the tray icon is up.
void startScreenReaders();
// Releases every desktop duplication entry (process end).
void releaseDuplicationCache();
