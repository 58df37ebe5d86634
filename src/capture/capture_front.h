// The capture front: freezes the virtual screen and opens the overlays.
#pragma once

// Starts a capture unless one is running; waits app.captureDelay first.
void beginCapture();
