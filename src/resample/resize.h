// Target size and resampling dispatch.
#pragma once

#include <cstdint>

#include "raster/rgb_image.h"
#include "resample/pixel_source.h"
#include "resample/reduce.h"

// Makes `dest` a resized copy of `source` (read only, never released here). A width or height
// of 0 or less is derived from the other and the source's proportions (products in 64 bits);
// with exactSize 0 a pair of positive sizes shrinks to fit the box with the source's
// proportions. A target larger than the source on either axis is enlarged as enlargeImage does,
// row by row as the reduction reads the rows, then every path ends in the reduction; a reduction
// bound to stop at an edge product is refused before anything is built. Results, also left in
// dest->status: 0x100000 bad or empty source, 0x200000 neither size positive or a derived size
// beyond 32 bits, 0x400000 the enlargement failed (assigned), 0x800000 the reduction failed (added
// to what it left; a block it allocated is released); 0 dest holds the target size.
std::int32_t resizeImage(RgbImage* dest, std::int32_t width, std::int32_t height,
                         const RgbImage* source, std::int32_t exactSize);

// What resizeImage makes of a request: the target, and the size of the picture its reduction
// reads (the source's, or that of its enlargement when the target is larger on either axis).
struct ResizePlan {
    std::int32_t width;
    std::int32_t height;
    std::int32_t workWidth;
    std::int32_t workHeight;
};

// Decides a request of width x height over a source of sourceWidth x sourceHeight (both at least
// 1) from the sizes alone, as resizeImage decides it. Results: 0x200000 neither size positive or a
// derived size beyond 32 bits, 0x400000 the enlargement would be refused (a side beyond 32 bits
// or a block beyond rgbImageMaxBytes), 0x800000 the reduction would stop at an edge product
// (the target is stored); 0 *plan set.
std::int32_t resizePlan(std::int32_t width, std::int32_t height, std::int32_t sourceWidth,
                        std::int32_t sourceHeight, std::int32_t exactSize, ResizePlan* plan);

// Resamples `source` as `plan` (from resizePlan, result 0) says, as resizeImage does, into the
// grey picture of the result's colours (reduceToGrey), allocated here; an enlargement is made
// row by row as the reduction reads it. Results: 1 memory refused or a side below 1; 0 done.
std::int32_t resizeToGrey(GreyPicture* dest, const ResizePlan* plan, const PixelSource* source);

// The size resizeImage settles on for a request of width x height over a source of sourceWidth x
// sourceHeight (both at least 1), by the rules above. Results: 1 neither size positive, or a
// derived size beyond 32 bits (outputs untouched); 0 *targetWidth and *targetHeight set.
std::int32_t resizeTargetSize(std::int32_t width, std::int32_t height, std::int32_t sourceWidth,
                              std::int32_t sourceHeight, std::int32_t exactSize,
                              std::int32_t* targetWidth, std::int32_t* targetHeight);
