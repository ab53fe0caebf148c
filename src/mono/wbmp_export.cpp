// Writing an RgbImage as a WBMP file: dither, pack, then open and write in one go.
#include "mono/wbmp_export.h"

#include <cstdio>
#include <cstdlib>

#include "mono/dither.h"
#include "mono/mono_bitmap.h"
#include "util/output_file.h"

namespace {

// Sets every white pixel's bit and clears every black one's, one monoSetPixel per pixel (the
// bitmap has the image's size; a red byte above 127 is white). The calls go through a copy of
// the record that nothing else can reach (it names the same block), so the compiler keeps its
// fields in registers across the stores into the block and sees that every pixel lies inside
// the picture; the pixels of one byte are set together, so that their byte and masks are known.
void packWhitePixels(const RgbImage* image, const MonoBitmap* bitmap) {
    MonoBitmap target = *bitmap;
    const std::int32_t width = target.width;
    for (std::int32_t y = 0; y < target.height; ++y) {
        const std::uint8_t* pixel = image->rows[y];
        std::int32_t x = 0;
        for (; x <= width - 8; x += 8, pixel += 24) {
#pragma GCC unroll 8
            for (std::int32_t bit = 0; bit < 8; ++bit) {
                monoSetPixel(&target, x + bit, y, pixel[3 * bit] >> 7);
            }
        }
        for (; x < width; ++x, pixel += 3) {
            monoSetPixel(&target, x, y, pixel[0] >> 7);
        }
    }
}

}  // namespace

std::int32_t writeWbmpFile(RgbImage* image, const char* path) {
    ditherToBlackWhite(image, -1);
    MonoBitmap bitmap{};
    if (monoCreate(&bitmap, image->width, image->height, std::malloc) != 0) return 1;
    packWhitePixels(image, &bitmap);

    std::int32_t result = 1;
    OutputFile output = openOutputFile(path);
    if (output.stream != nullptr) {
        monoWriteWbmp(&bitmap, output.stream);
        result = closeOutputFile(&output, path);
    }
    monoFree(&bitmap, std::free);
    return result;
}
