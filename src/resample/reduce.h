// Area-averaging reduction on a grid of 1/128 source pixel.
#pragma once

#include <cstdint>

#include "mono/dither.h"
#include "raster/rgb_image.h"
#include "resample/enlarge.h"
#include "resample/pixel_source.h"

// Fills `dest` (width x height, no larger than the source on either axis) with the area-weighted
// mean of the source rectangle each pixel covers. Results: 0x4000 bad source (status assigned),
// 0x8000 the block was refused (status 0x8001), 1 an edge coordinate left the 32-bit range
// (status 0, pixels written so far kept); 0 done. A cell below 1/128 pixel in area (possible only
// for a destination larger than the source) is written black.
std::int32_t reduceImage(RgbImage* dest, std::int32_t width, std::int32_t height,
                         const RgbImage* source);

// The picture a reduction reads from the top down: a pixel source, or its enlargement made row by
// row as the reduction needs the rows.
struct ReduceInput {
    const PixelSource* source;
    EnlargeRows* enlarged;  // null: the source itself
};

// reduceImage from `input`, valid: allocates `dest`. Results: 0x8000 the block was refused
// (status 0x8001), 1 an edge coordinate left the 32-bit range (status 0, pixels written so far
// kept) or working memory was refused; 0 done.
std::int32_t reduceInputToImage(RgbImage* dest, std::int32_t width, std::int32_t height,
                                const ReduceInput* input);

// Reduces `input` by reduceImage's rule to width x height colours and stores the grey of each,
// (r + g + b) / 3, in `dest`, which is allocated here. Results: 1 a side below 1, an edge
// beyond the 32-bit range or memory refused (nothing left allocated); 0 done.
std::int32_t reduceToGrey(GreyPicture* dest, std::int32_t width, std::int32_t height,
                          const ReduceInput* input);

// True (1) when reducing sourceWidth x sourceHeight to width x height (both at least 1) would stop
// at an edge coordinate beyond the 32-bit range, that is when width * sourceWidth or
// height * sourceHeight exceeds 16,777,215; 0 otherwise and for a destination without pixels.
std::int32_t reduceEdgesOverflow(std::int32_t width, std::int32_t height, std::int32_t sourceWidth,
                                 std::int32_t sourceHeight);
