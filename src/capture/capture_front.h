// The capture front: freezes the virtual screen into app.frozenDesktop. The
// overlays that show it belong to the selection. GUI thread only.
#pragma once

struct FrozenDesktop;

// Freezes the whole virtual screen (GDI, then the HDR outputs by desktop
// duplication) into app.frozenDesktop's DIB section, reusing the last one of
// the same size; false, with nothing held, on failure. The opaque alpha and
// the pixel copy for cutting follow, by keepFrozenPixels, once the overlays are painted.
bool captureDesktop();
// The alpha fill of the DIB section and the pixel copy that selections are
// cut from: nothing on the screen needs them, so they follow the first paint.
// Once per capture; later calls do nothing.
void keepFrozenPixels();
// Frees whatever the frozen desktop holds: memory DC, DIB section, pixel copy.
void releaseFrozenDesktop(FrozenDesktop& desktop);
// Makes the DXGI factory and describes the outputs, so that the first
// capture finds them ready; any failure there leaves the first capture to
// make its own. Once, from the message loop, after the tray icon is up.
void prepareDuplication();
// Releases every desktop duplication entry (process end).
void releaseDuplicationCache();
