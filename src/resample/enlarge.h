// Integer-factor bilinear enlargement.
#pragma once

#include <cstdint>

#include "raster/rgb_image.h"

// The size enlargeImage makes for a requested width x height on a source of sourceWidth x
// sourceHeight (both at least 1). On an axis of s >= 2 pixels: factor * (s - 1) + 1 with
// factor = (requested + s - 3) / (s - 1), raised to 1 when below; on an axis of 1 pixel: the
// requested size, at least 1 (the pixel is repeated). Results: 1 a side leaves the signed 32-bit
// range or the raster's block would be larger than rgbImageAlloc grants; 0 size stored.
std::int32_t enlargedSize(std::int32_t width, std::int32_t height, std::int32_t sourceWidth,
                          std::int32_t sourceHeight, std::int32_t* resultWidth,
                          std::int32_t* resultHeight);

// Enlarges `source` by the smallest whole factors that reach at least width x height (sizes as
// enlargedSize gives): the source pixels at every factor-th position and bilinear blends
// between them; a 1-pixel axis repeats its row or column. Results: 0x40000 bad or empty source
// (status assigned), 0x80000 the block was refused or too large (status 0x80001, nothing
// allocated); 0 done.
std::int32_t enlargeImage(RgbImage* dest, std::int32_t width, std::int32_t height,
                          const RgbImage* source);
