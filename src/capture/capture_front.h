// The capture front: freezes the virtual screen into app.frozenDesktop. The
// overlays that show it belong to the selection. GUI thread only.
#pragma once

#include <windows.h>

#include "state/pixel_rect.h"

struct FrozenDesktop;

// Freezes the whole virtual screen (one GDI read, then the HDR outputs by
// desktop duplication) into app.frozenDesktop, in blocks of its own. False,
// with nothing held, on failure.
bool freezeDesktop();
// The alpha fill of the picture and the pixel copy that selections are
// cut from: nothing on the screen needs them, so they follow the first paint.
// Once per capture; later calls do nothing.
void copyFrozenForSelection();
// Draws the frozen picture of `area` (desktop coordinates, inside the
// virtual screen) into `dc` at (0, 0); nothing while no capture is held.
void paintFrozenDesktop(HDC dc, const PixelRect& area);
// Frees whatever the frozen desktop holds: the DIB section and the pixel copy.
void releaseFrozenDesktop(FrozenDesktop& desktop);
// Makes the DXGI factory and describes the outputs, so that the first
// capture finds them ready; any failure there leaves the first capture to
// make its own. Once, from the message loop, after the tray icon is up.
void prepareDuplication();
// Releases every desktop duplication entry (process end).
void releaseDuplicationCache();
