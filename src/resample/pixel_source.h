// The picture that resampling reads, row by row: rows of palette indices with the palette's
// colours (libgd's picture as decoded), or the rows of an RgbImage.
#pragma once

#include <cstdint>

#include "raster/gif_load.h"
#include "raster/rgb_image.h"

struct PixelSource {
    std::int32_t width;
    std::int32_t height;
    std::uint8_t* const* imageRows;        // the RgbImage's rows, or null
    const std::uint8_t* const* indexRows;  // else the rows of palette indices
    const PaletteColours* colours;         // and the colour of each index
};

// The pixel source of a valid image.
inline PixelSource pixelSourceOfImage(const RgbImage* image) {
    return {image->width, image->height, image->rows, nullptr, nullptr};
}

// The pixel source of width x height rows of palette indices.
inline PixelSource pixelSourceOfIndices(std::int32_t width, std::int32_t height,
                                        const std::uint8_t* const* rows,
                                        const PaletteColours* colours) {
    return {width, height, nullptr, rows, colours};
}

// Row y's colours, 3 bytes a pixel: the image's own row, or `buffer` (3 * width bytes, unused
// for an image) filled from the palette.
inline const std::uint8_t* pixelSourceRow(const PixelSource* source, std::int32_t y,
                                          std::uint8_t* buffer) {
    if (source->imageRows != nullptr) return source->imageRows[y];
    paletteRowColours(source->colours, source->indexRows[y], source->width, buffer);
    return buffer;
}
