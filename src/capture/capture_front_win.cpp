// The capture front. Until the frozen-desktop capture exists, a request
// starts nothing.
#include "capture/capture_front.h"

void beginCapture() {}
