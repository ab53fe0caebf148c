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

// A colour packed into one word: red, green and blue in lanes of pixelLaneBits bits, red in the
// lowest. Each lane holds sums below 2^21: 8,224 times 255.
inline constexpr int pixelLaneBits = 21;
inline std::uint64_t packColour(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return red | (std::uint64_t{green} << pixelLaneBits) |
           (std::uint64_t{blue} << (2 * pixelLaneBits));
}

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

// Row y's colours packed into `out` (width words).
inline void pixelSourcePackedRow(const PixelSource* source, std::int32_t y, std::uint64_t* out) {
    if (source->imageRows != nullptr) {
        const std::uint8_t* pixel = source->imageRows[y];
        for (std::int32_t x = 0; x < source->width; ++x, pixel += 3)
            out[x] = packColour(pixel[0], pixel[1], pixel[2]);
        return;
    }
    const std::uint8_t* index = source->indexRows[y];
    for (std::int32_t x = 0; x < source->width; ++x) {
        const std::uint8_t* colour = source->colours->rgb[index[x]];
        out[x] = packColour(colour[0], colour[1], colour[2]);
    }
}
