// The direct JPEG writer that the fast one must match byte for byte.
#pragma once

#include "output/output.h"

bool encodeJpegReference(JpegByteSink sink, const std::uint8_t* pixels, std::uint16_t width, std::uint16_t height,
                         bool colour, int quality, bool downsample, const char* comment);
