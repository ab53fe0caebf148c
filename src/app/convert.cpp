// The conversion driver and the number rule of the command line.
//
// The GIF is decoded once. A palette picture kept at its own size is converted straight from
// libgd's rows of indices, row by row; every other conversion goes through an RgbImage of the
// picture's colours, which is resized when asked and then written.
#include "app/convert.h"

#include <gd.h>

#include "mono/dither.h"
#include "mono/wbmp_export.h"
#include "raster/gif_load.h"
#include "raster/rgb_image.h"
#include "resample/reduce.h"
#include "resample/resize.h"

namespace {

// A request as the GIF's size decides it: kept at the source's size (both sizes 0, or a target
// equal to the source's size, whose reduction would give every pixel back unchanged), or resized.
struct Request {
    std::int32_t width;  // as asked
    std::int32_t height;
    bool keep;
    ResizePlan plan;  // when not kept
};

// Decides the request (userData) for a source of sourceWidth x sourceHeight. False when the
// conversion is bound to fail: the resize is refused, or a target side is 0 (no WBMP has it).
bool decideRequest(void* userData, std::int32_t sourceWidth, std::int32_t sourceHeight) {
    auto* request = static_cast<Request*>(userData);
    request->keep = request->width == 0 && request->height == 0;
    if (request->keep) return true;
    if (resizePlan(request->width, request->height, sourceWidth, sourceHeight, 1, &request->plan) !=
        0) {
        return false;
    }
    request->keep = request->plan.width == sourceWidth && request->plan.height == sourceHeight;
    return request->plan.width >= 1 && request->plan.height >= 1;
}

// Fills `image` with the picture's colours: a palette pixel gets its entry's red, green and blue,
// a true-colour pixel its own. Results: 1 the raster was refused; 0 filled.
std::int32_t rasterFromPicture(RgbImage* image, gdImagePtr picture) {
    const std::int32_t width = gdImageSX(picture);
    const std::int32_t height = gdImageSY(picture);
    if (rgbImageAlloc(image, width, height) != 0) return 1;
    const bool trueColour = gdImageTrueColor(picture) != 0;
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* pixel = image->rows[y];
        for (std::int32_t x = 0; x < width; ++x, pixel += 3) {
            int red = 0;
            int green = 0;
            int blue = 0;
            if (trueColour) {
                const int colour = picture->tpixels[y][x];
                red = gdTrueColorGetRed(colour);
                green = gdTrueColorGetGreen(colour);
                blue = gdTrueColorGetBlue(colour);
            } else {
                const int index = picture->pixels[y][x];
                red = picture->red[index];
                green = picture->green[index];
                blue = picture->blue[index];
            }
            pixel[0] = static_cast<std::uint8_t>(red & 0xFF);
            pixel[1] = static_cast<std::uint8_t>(green & 0xFF);
            pixel[2] = static_cast<std::uint8_t>(blue & 0xFF);
        }
    }
    return 0;
}

// The raster path: `source` (the picture's colours) resized unless both sizes are 0, then
// written whole. The source's block is released here.
std::int32_t convertRaster(RgbImage* source, const char* dstPath, std::int32_t width,
                           std::int32_t height) {
    RgbImage dest{};
    if (width != 0 || height != 0) {
        const std::int32_t rc = resizeImage(&dest, width, height, source, 1);
        rgbImageFree(source);
        if (rc != 0) return 1;
    } else {
        dest = *source;  // hands the pixel block over; the source is not released
    }
    const std::int32_t result = writeWbmpFile(&dest, dstPath);
    rgbImageFree(&dest);
    return result;
}

// The native path: the palette picture's own rows of indices, with the grey of each entry.
std::int32_t convertPalettePicture(gdImagePtr picture, const char* dstPath) {
    IndexedPicture indexed{gdImageSX(picture), gdImageSY(picture), picture->pixels, {}};
    for (int entry = 0; entry < gdMaxColors; ++entry) {
        indexed.grey[entry] = ditherGrey(static_cast<std::uint8_t>(picture->red[entry] & 0xFF),
                                         static_cast<std::uint8_t>(picture->green[entry] & 0xFF),
                                         static_cast<std::uint8_t>(picture->blue[entry] & 0xFF));
    }
    return writeIndexedWbmpFile(&indexed, dstPath);
}

}  // namespace

std::int32_t convertFile(const char* srcPath, const char* dstPath, std::int32_t width,
                         std::int32_t height) {
    // The request is decided as soon as the image descriptor gives the size: a refused one costs
    // no decoding.
    Request request{width, height, false, {}};
    const GifSizeCheck check{decideRequest, &request};
    gdImagePtr picture = nullptr;
    if (decodeGifFile(srcPath, &check, &picture) != 0) return 1;
    if (!gdImageTrueColor(picture) && request.keep) {
        const std::int32_t result = convertPalettePicture(picture, dstPath);
        gdImageDestroy(picture);
        return result;
    }
    // libgd's picture is released as soon as the raster holds its colours, before the resize.
    RgbImage source{};
    const std::int32_t filled = rasterFromPicture(&source, picture);
    gdImageDestroy(picture);
    if (filled != 0) return 1;
    return convertRaster(&source, dstPath, width, height);
}

namespace {

bool isSkippedSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::int32_t parseDimension(const char* text) {
    while (isSkippedSpace(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    std::uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10u + static_cast<std::uint32_t>(*text - '0');
    }
    if (negative) value = 0u - value;
    return static_cast<std::int32_t>(value);  // modulo 2^32, as a signed number
}
