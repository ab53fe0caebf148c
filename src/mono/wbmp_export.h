// Writing a picture as a WBMP file: an RgbImage, or a palette picture streamed row by row.
#pragma once

#include <cstdint>

#include "raster/rgb_image.h"

// Dithers `image` in place at its mean grey, packs it (white pixels as set bits) and writes it
// to `path`, which is opened only once the bitmap is complete. Results: 1 the bitmap cannot be
// made (no memory, a side below 1: no file touched), the destination cannot be opened, or a
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
// raster: the mean grey comes from a count of the indices, and the rows are dithered, packed and
// written one by one, with two rows of grey values as the only working memory. `path` is opened
// once that memory is allocated. Results as writeWbmpFile: 1 a side below 1 or no memory (no file
// touched), the destination cannot be opened, or a write, flush or close failed (a file this call
// created is then removed); 0 written.
std::int32_t writeIndexedWbmpFile(const IndexedPicture* picture, const char* path);
