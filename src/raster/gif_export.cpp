// GIF export adapter over libgd, and two pixel operations on libgd palette images.
#include "raster/gif_export.h"

#include <cstdio>
#include <limits>

#include "util/output_file.h"

namespace {

// Allocates palette entries in order, at most gifExportMaxColours, and stores the colour index
// of each in `slots`. Returns how many were taken.
std::int32_t takeColours(gdImagePtr picture, const PaletteEntry* palette, std::int32_t paletteCount,
                         int* slots) {
    std::int32_t taken = 0;
    while (taken < paletteCount && taken < gifExportMaxColours) {
        const PaletteEntry& entry = palette[taken];
        const int colour = gdImageColorAllocate(picture, entry.red, entry.green, entry.blue);
        if (colour < 0) break;
        slots[taken] = colour;
        ++taken;
    }
    return taken;
}

// Asks for every pixel, row by row; a position outside 0..taken-1 leaves the pixel at colour
// index 0, which a new image starts with and which is the first colour taken.
void drawPixels(gdImagePtr picture, GifIndexCallback onIndex, void* userData, const int* slots,
                std::int32_t taken) {
    const std::int32_t width = gdImageSX(picture);
    const std::int32_t height = gdImageSY(picture);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const std::int32_t position = onIndex(userData, x, y);
            if (position >= 0 && position < taken) gdImageSetPixel(picture, x, y, slots[position]);
        }
    }
}

// True when a coordinate and the one after it are both signed 32-bit values, as gdImageCopy
// needs for a 1 x 1 rectangle.
bool copyCoordinateFits(std::int64_t coordinate) {
    return coordinate >= std::numeric_limits<std::int32_t>::min() &&
           coordinate < std::numeric_limits<std::int32_t>::max();
}

}  // namespace

std::int32_t saveGifFromPalette(const char* path, std::int32_t width, std::int32_t height,
                                GifIndexCallback onIndex, void* userData,
                                const PaletteEntry* palette, std::int32_t paletteCount,
                                std::int32_t transparentFirst) {
    resetGifEncoder();
    if (path == nullptr) return gifExportNoImage;
    if (onIndex == nullptr) return gifExportNoImage;
    if (palette == nullptr) return gifExportNoImage;
    if (paletteCount <= 0) return gifExportNoImage;
    gdImagePtr picture = gdImageCreate(width, height);
    if (picture == nullptr) return gifExportNoImage;

    int slots[gifExportMaxColours] = {};
    const std::int32_t taken = takeColours(picture, palette, paletteCount, slots);
    if (transparentFirst != 0 && taken > 0) gdImageColorTransparent(picture, slots[0]);
    drawPixels(picture, onIndex, userData, slots, taken);

    OutputFile output = openOutputFile(path);
    std::int32_t result = gifExportCannotWrite;
    if (output.stream != nullptr) {
        gdImageGif(picture, output.stream);
        if (closeOutputFile(&output, path) == 0) result = 0;
    }
    gdImageDestroy(picture);
    return result;
}

// libgd keeps no GIF encoder state between calls, so there is nothing to reset.
void resetGifEncoder() {}

std::int32_t regionHasColour(gdImagePtr image, std::int32_t left, std::int32_t top,
                             std::int32_t right, std::int32_t bottom, std::int32_t colour) {
    for (std::int32_t y = top; y < bottom; ++y) {
        for (std::int32_t x = left; x < right; ++x) {
            if (gdImageGetPixel(image, x, y) != colour) return 0;
        }
    }
    return 1;
}

void copyPixelsExceptColour(gdImagePtr dest, gdImagePtr source, std::int32_t destX,
                            std::int32_t destY, std::int32_t sourceX, std::int32_t sourceY,
                            std::int32_t width, std::int32_t height, std::int32_t key) {
    for (std::int32_t i = 0; i < height; ++i) {
        const std::int64_t fromY = std::int64_t{sourceY} + i;
        const std::int64_t toY = std::int64_t{destY} + i;
        if (!copyCoordinateFits(fromY) || !copyCoordinateFits(toY)) continue;
        for (std::int32_t j = 0; j < width; ++j) {
            const std::int64_t fromX = std::int64_t{sourceX} + j;
            const std::int64_t toX = std::int64_t{destX} + j;
            if (!copyCoordinateFits(fromX) || !copyCoordinateFits(toX)) continue;
            const auto sx = static_cast<std::int32_t>(fromX);
            const auto sy = static_cast<std::int32_t>(fromY);
            if (gdImageGetPixel(source, sx, sy) == key) continue;
            gdImageCopy(dest, source, static_cast<std::int32_t>(toX),
                        static_cast<std::int32_t>(toY), sx, sy, 1, 1);
        }
    }
}
