// The direct walk of an HDR frame onto the frozen desktop, one pixel at a
// time through convertHdrPixel: the reference convertHdrFrame must match.
#pragma once

#include "capture/capture.h"

void convertHdrFrameDirect(const HdrToneTable& table, const HdrFrame& frame, const HdrTarget& target);
