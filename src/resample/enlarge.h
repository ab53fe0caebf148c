// Integer-factor bilinear enlargement.
#pragma once

#include <cstdint>

#include "raster/rgb_image.h"

// Enlarges `source` by the smallest whole factors that reach at least width x height: the
// result has factor * (s - 1) + 1 pixels on each axis, the source pixels at every factor-th
// position and bilinear blends between them. Results: 0x40000 bad source (status assigned),
// 0x80000 the block was refused or too large (status 0x80001); 0 done.
std::int32_t enlargeImage(RgbImage* dest, std::int32_t width, std::int32_t height,
                          const RgbImage* source);
