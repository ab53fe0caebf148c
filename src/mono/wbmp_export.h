// Writing an RgbImage as a WBMP file.
#pragma once

#include <cstdint>

#include "raster/rgb_image.h"

// Dithers `image` in place at its mean grey, packs it (white pixels as set bits) and writes it
// to `path`, which is opened only once the bitmap is complete. Results: 1 the bitmap cannot be
// made (no memory, a side below 1: no file touched), the destination cannot be opened, or a
// write, flush or close failed (a file this call created is then removed); 0 written.
std::int32_t writeWbmpFile(RgbImage* image, const char* path);
