// Writing a picture as a WBMP file, row by row: an RgbImage, a palette picture or a grey picture.
// One writer serves all three: it takes rows of grey values and the sum of them all, dithers each
// row at the mean, packs it and writes it.
#pragma once

#include <cstdint>

#include "mono/dither.h"
#include "raster/rgb_image.h"

// Dithers `image` in place at its mean grey, packs it (white pixels as set bits) and writes it
// to `path`, row by row once the file is open. Results: 1 a side below 1 or no memory for two
// rows of greys (no file touched, the image as it was), the destination cannot be opened, or a
// write, flush or close failed (a file this call created is then removed); 0 written.
std::int32_t writeWbmpFile(RgbImage* image, const char* path);

// A palette picture as a decoder hands it out: `height` rows of `width` palette indices, and
// the grey of each palette entry (as ditherGrey gives it from the entry's colour).
struct IndexedPicture {
    std::int32_t width;
    std::int32_t height;
    const std::uint8_t* const* rows;
    std::uint8_t grey[256];
};

// Writes the bytes writeWbmpFile writes for an RgbImage of the picture's colours, without a
// raster: the mean grey comes from a count of the indices, and the rows' greys come from the
// table. Results as writeWbmpFile.
std::int32_t writeIndexedWbmpFile(const IndexedPicture* picture, const char* path);

// Writes the bytes writeWbmpFile writes for an RgbImage whose greys these are. Results as
// writeWbmpFile.
std::int32_t writeGreyWbmpFile(const GreyPicture* picture, const char* path);
