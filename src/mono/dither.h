// Grey conversion and Floyd-Steinberg error diffusion, in place on an RgbImage.
#pragma once

#include <cstdint>

#include "raster/rgb_image.h"

// Turns every pixel to grey ((r + g + b) / 3), then to black (0, 0, 0) or white (255, 255, 255)
// by error diffusion at `threshold` (negative: the mean grey of the picture, or 1 when that mean
// is 0, so that a black picture stays black; clamped to 0-255; a tie goes to white). Shares 7, 3,
// 5, 1 sixteenths, truncated toward zero, each clamped into its neighbour before the next. Does not
// read status; a picture without pixels is left as it is.
void ditherToBlackWhite(RgbImage* image, std::int32_t threshold);
