// GIF loading adapter over libgd.
#include "raster/gif_load.h"

#include <gd.h>

#include <cstdarg>
#include <cstdio>

namespace {

void discardGdMessage(int /*priority*/, const char* /*format*/, va_list /*args*/) {}

// Hands out every pixel of a decoded palette image, row by row, with the colour of its palette
// entry. The GIF decoder always builds a palette image, so the palette arrays are read directly.
void walkPixels(gdImagePtr picture, GifPixelCallback onPixel, void* userData) {
    const std::int32_t width = gdImageSX(picture);
    const std::int32_t height = gdImageSY(picture);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const int index = gdImageGetPixel(picture, x, y);
            onPixel(userData, x, y, picture->red[index], picture->green[index],
                    picture->blue[index]);
        }
    }
}

}  // namespace

std::int32_t loadGifRaster(const char* path, GifSizeCallback onSize, GifEndCallback onEnd,
                           GifPixelCallback onPixel, void* userData) {
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) return gifLoadCannotOpen;
    gdImagePtr picture = gdImageCreateFromGif(stream);
    std::fclose(stream);
    if (picture == nullptr) return gifLoadNoImage;
    if (gdImageSX(picture) <= 0 || gdImageSY(picture) <= 0) {
        gdImageDestroy(picture);
        return gifLoadNoImage;
    }

    onSize(userData, gdImageSX(picture), gdImageSY(picture));
    walkPixels(picture, onPixel, userData);
    onEnd(userData);
    gdImageDestroy(picture);
    return 0;
}

std::int32_t loadGifImage(RgbImage* image, const char* path) {
    const std::int32_t rc =
        loadGifRaster(path, rasterSizeCallback, rasterEndCallback, rasterPixelCallback, image);
    if (rc != 0) {
        image->status |= statusLoadFailed;
        return statusLoadFailed;
    }
    return image->status != 0 ? statusLoadAllocFailed : 0;
}

void rasterSizeCallback(void* userData, std::int32_t width, std::int32_t height) {
    auto* image = static_cast<RgbImage*>(userData);
    if (rgbImageAlloc(image, width, height) != 0) image->status |= statusLoadAllocFailed;
}

void rasterPixelCallback(void* userData, std::int32_t x, std::int32_t y, std::int32_t red,
                         std::int32_t green, std::int32_t blue) {
    auto* image = static_cast<RgbImage*>(userData);
    if (image->status != 0) return;
    std::uint8_t* pixel = image->rows[y] + 3 * static_cast<std::ptrdiff_t>(x);
    pixel[0] = static_cast<std::uint8_t>(red & 0xFF);
    pixel[1] = static_cast<std::uint8_t>(green & 0xFF);
    pixel[2] = static_cast<std::uint8_t>(blue & 0xFF);
}

void rasterEndCallback(void* /*userData*/) {}

void silenceGdMessages() {
    gdSetErrorMethod(discardGdMessage);
}
