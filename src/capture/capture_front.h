// The capture front: freezes the virtual screen into app.frozenDesktop and
// opens one overlay per monitor. GUI thread only.
#pragma once

struct FrozenDesktop;

// Starts a capture unless one is running: freezes the screen, shows the
// overlays ("Begin Capture" delays the call by a timer, not here). A failed capture shows the HDR
// message box and leaves no capture running.
void beginCapture();
// Freezes the whole virtual screen (GDI, then the HDR outputs by desktop
// duplication) into app.frozenDesktop's DIB section, reusing the last one of
// the same size; false, with nothing held, on failure. The opaque alpha and
// the pixel copy for cutting are beginCapture's, once the overlays are painted.
bool captureDesktop();
// Frees whatever the frozen desktop holds: memory DC, DIB section, pixel copy.
void releaseFrozenDesktop(FrozenDesktop& desktop);
// Makes the DXGI factory and describes the outputs, so that the first
// capture finds them ready; any failure there leaves the first capture to
// make its own. Once, from the message loop, after the tray icon is up.
void prepareDuplication();
// Releases every desktop duplication entry (process end).
void releaseDuplicationCache();
