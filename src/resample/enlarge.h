// Integer-factor bilinear enlargement.
#pragma once

#include <cstdint>

#include "raster/rgb_image.h"
#include "resample/pixel_source.h"
#include "util/reciprocal.h"

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

// An enlargement made one result row at a time from a pixel source: the factors (1 on a repeated
// 1-pixel axis), the result's size, the divisor fx * fy, and the two source rows last read, with
// their buffers for a palette source (null for an image).
struct EnlargeRows {
    PixelSource source;
    std::int32_t factorX;
    std::int32_t factorY;
    std::int32_t width;
    std::int32_t height;
    Reciprocal divisor;
    std::int32_t rowIndex[2];  // -1: none
    const std::uint8_t* row[2];
    std::uint8_t* buffer[2];
};

// Prepares `rows` to enlarge `source` as enlargeImage does. Results: 0x40000 a source without
// pixels, 0x80000 a result enlargedSize refuses or buffers refused by the heap; 0 ready, to be
// released with enlargeRowsEnd.
std::int32_t enlargeRowsBegin(EnlargeRows* rows, std::int32_t width, std::int32_t height,
                              const PixelSource* source);

// Result row y (0 to height - 1) into `out` (3 * width bytes). Rows asked for from the top down
// read each source row once.
void enlargeRow(EnlargeRows* rows, std::int32_t y, std::uint8_t* out);

// enlargeRow with each colour packed into a word (packColour): `out` holds width words.
void enlargeRowPacked(EnlargeRows* rows, std::int32_t y, std::uint64_t* out);

// Releases the buffers of prepared rows.
void enlargeRowsEnd(EnlargeRows* rows);
