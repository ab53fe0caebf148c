// The conversion driver and the number rule of the command line.
#include "app/convert.h"

#include "mono/wbmp_export.h"
#include "raster/gif_load.h"
#include "raster/rgb_image.h"
#include "resample/resize.h"

std::int32_t convertFile(const char* srcPath, const char* dstPath, std::int32_t width,
                         std::int32_t height) {
    RgbImage source{};
    RgbImage dest{};
    if (loadGifImage(&source, srcPath) != 0) return 1;
    if (width != 0 || height != 0) {
        const std::int32_t rc = resizeImage(&dest, width, height, &source, 1);
        rgbImageFree(&source);
        if (rc != 0) return 1;
    } else {
        dest = source;  // hands the pixel block over; the source is not released
    }
    const std::int32_t result = writeWbmpFile(&dest, dstPath);
    rgbImageFree(&dest);
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
