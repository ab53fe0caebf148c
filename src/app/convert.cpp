// The conversion driver and the number rule of the command line.
//
// The request is decided from the GIF's size before libgd decodes it; the GIF is then decoded
// once. A picture kept at its own size is written straight from libgd's rows of indices through
// the palette's greys; a resized one is resampled from those rows into a grey picture of one byte
// a pixel, which is then written. Both are written row by row by the same writer.
#include "app/convert.h"

#include <gd.h>

#include <cstdlib>

#include "mono/dither.h"
#include "mono/wbmp_export.h"
#include "raster/gif_load.h"
#include "resample/pixel_source.h"
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

// The native path: the palette picture's own rows of indices, with the grey of each entry.
std::int32_t convertKept(gdImagePtr picture, const PaletteColours* colours, const char* dstPath) {
    IndexedPicture indexed{gdImageSX(picture), gdImageSY(picture), picture->pixels, {}};
    for (std::size_t entry = 0; entry < 256; ++entry) {
        const std::uint8_t* colour = colours->rgb[entry];
        indexed.grey[entry] = ditherGrey(colour[0], colour[1], colour[2]);
    }
    return writeIndexedWbmpFile(&indexed, dstPath);
}

// The resized path: the resampled greys from libgd's rows of indices, written once libgd's
// picture is released.
std::int32_t convertResized(gdImagePtr picture, const PaletteColours* colours,
                            const ResizePlan* plan, const char* dstPath) {
    const PixelSource source =
        pixelSourceOfIndices(gdImageSX(picture), gdImageSY(picture), picture->pixels, colours);
    GreyPicture grey{};
    const std::int32_t resized = resizeToGrey(&grey, plan, &source);
    gdImageDestroy(picture);
    if (resized != 0) return 1;
    const std::int32_t result = writeGreyWbmpFile(&grey, dstPath);
    std::free(grey.pixels);
    return result;
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
    PaletteColours colours;
    gifPaletteColours(picture, &colours);
    if (!request.keep) return convertResized(picture, &colours, &request.plan, dstPath);
    const std::int32_t result = convertKept(picture, &colours, dstPath);
    gdImageDestroy(picture);
    return result;
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
