// Grey conversion and Floyd-Steinberg error diffusion: in place on an RgbImage, or row by row on
// rows of grey values. Both run the same row kernel, so they decide every pixel alike.
#pragma once

#include <cstdint>

#include "raster/rgb_image.h"

// Turns every pixel to grey ((r + g + b) / 3), then to black (0, 0, 0) or white (255, 255, 255)
// by error diffusion at `threshold` (negative: the mean grey of the picture, or 1 when that mean
// is 0, so that a black picture stays black; clamped to 0-255; a tie goes to white). Shares 7, 3,
// 5, 1 sixteenths, truncated toward zero, each clamped into its neighbour before the next. Does not
// read status; a picture without pixels is left as it is.
void ditherToBlackWhite(RgbImage* image, std::int32_t threshold);

// A grey picture: width x height grey values, row by row, and the sum of them all.
struct GreyPicture {
    std::int32_t width;
    std::int32_t height;
    std::uint8_t* pixels;  // released with std::free
    std::uint64_t greySum;
};

// (red + green + blue) / 3, truncated: the grey of a colour.
inline std::uint8_t ditherGrey(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint8_t>((std::uint32_t{red} + green + blue) / 3);
}

// The threshold ditherToBlackWhite uses for a requested `threshold` on a picture of pixelCount
// pixels (at least 1) whose greys add up to greySum: a negative request gives the mean grey, or 1
// when that mean is 0; the result is clamped to 0-255.
std::int32_t ditherThreshold(std::int32_t threshold, std::int64_t greySum, std::int64_t pixelCount);

// The error shares (right, lower left, below, lower right) that a pixel of each grey value
// pushes once the threshold is known, and that threshold.
struct DitherShare {
    std::int16_t right;
    std::int16_t lowerLeft;
    std::int16_t below;
    std::int16_t lowerRight;
};
struct DitherPlan {
    std::int32_t threshold;
    DitherShare byGrey[256];
};

// Prepares `plan` for a threshold of 0-255 (as ditherThreshold gives it).
void ditherPlan(DitherPlan* plan, std::int32_t threshold);

// Decides a row of `width` (at least 1) grey values in place, left to right: each becomes 255
// (at or above the threshold) or 0, and its error's shares go to its right neighbour in `row` and
// into `below`, the next row's grey values (null for the last row), as ditherToBlackWhite does.
void ditherGreyRow(std::uint8_t* row, std::uint8_t* below, std::int32_t width,
                   const DitherPlan* plan);
