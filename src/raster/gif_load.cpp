// GIF loading adapter over libgd.
#include "raster/gif_load.h"

#include <gd.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

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

// Reads exactly `count` bytes; false at the end of the stream.
bool readBytes(std::FILE* stream, unsigned char* buffer, std::size_t count) {
    return std::fread(buffer, 1, count, stream) == count;
}

// The pixel count of the first image that libgd will decode from `stream`, found the way its
// GIF reader walks the file (signature, screen, global colour table, extensions skipped block by
// block, stray bytes skipped, then the first image descriptor); -1 when there is none to find,
// in which case the decoder will give no image either.
std::int64_t announcedPixels(std::FILE* stream) {
    unsigned char buffer[768];  // the largest colour table; data sub-blocks hold up to 255
    if (!readBytes(stream, buffer, 13)) return -1;
    if (std::memcmp(buffer, "GIF87a", 6) != 0 && std::memcmp(buffer, "GIF89a", 6) != 0) return -1;
    if ((buffer[10] & 0x80) != 0) {
        const std::size_t tableBytes = 3u << ((buffer[10] & 0x07) + 1);
        if (!readBytes(stream, buffer, tableBytes)) return -1;
    }
    for (;;) {
        const int introducer = std::fgetc(stream);
        if (introducer == EOF || introducer == ';') return -1;
        if (introducer == '!') {
            if (std::fgetc(stream) == EOF) return -1;  // the label
            int count = 0;
            while ((count = std::fgetc(stream)) > 0) {
                if (!readBytes(stream, buffer, static_cast<std::size_t>(count))) break;
            }
            continue;
        }
        if (introducer != ',') continue;  // a stray byte, skipped as the decoder does
        if (!readBytes(stream, buffer, 9)) return -1;
        const std::int64_t width = buffer[4] | (buffer[5] << 8);
        const std::int64_t height = buffer[6] | (buffer[7] << 8);
        return width * height;
    }
}

// True when the file announces a first image of more than gifMaxPixels pixels. libgd fills the
// whole announced picture even when the file holds no data for it, so a few bytes could cost
// gigabytes and many seconds of decoding; such a file is refused before it is decoded. The
// stream is left at its start; one that cannot be repositioned is not looked at.
bool announcesTooManyPixels(std::FILE* stream) {
    if (std::fseek(stream, 0, SEEK_SET) != 0) return false;
    const std::int64_t pixels = announcedPixels(stream);
    if (std::fseek(stream, 0, SEEK_SET) != 0) return true;  // cannot decode from the start
    return pixels > gifMaxPixels;
}

}  // namespace

std::int32_t decodeGifFile(const char* path, gdImagePtr* picture) {
    *picture = nullptr;
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) return gifLoadCannotOpen;
    if (announcesTooManyPixels(stream)) {
        std::fclose(stream);
        return gifLoadNoImage;
    }
    gdImagePtr decoded = gdImageCreateFromGif(stream);
    std::fclose(stream);
    if (decoded == nullptr) return gifLoadNoImage;
    const std::int64_t pixels = std::int64_t{gdImageSX(decoded)} * gdImageSY(decoded);
    if (gdImageSX(decoded) <= 0 || gdImageSY(decoded) <= 0 || pixels > gifMaxPixels) {
        gdImageDestroy(decoded);
        return gifLoadNoImage;
    }
    *picture = decoded;
    return 0;
}

std::int32_t loadGifRaster(const char* path, GifSizeCallback onSize, GifEndCallback onEnd,
                           GifPixelCallback onPixel, void* userData) {
    gdImagePtr picture = nullptr;
    const std::int32_t rc = decodeGifFile(path, &picture);
    if (rc != 0) return rc;
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
