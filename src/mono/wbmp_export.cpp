// Writing an RgbImage as a WBMP file: dither, pack, then open and write in one go.
#include "mono/wbmp_export.h"

#include <cstdio>
#include <cstdlib>

#include "mono/dither.h"
#include "mono/mono_bitmap.h"
#include "util/output_file.h"

namespace {

void packWhitePixels(const RgbImage* image, MonoBitmap* bitmap) {
    for (std::int32_t y = 0; y < image->height; ++y) {
        const std::uint8_t* pixel = image->rows[y];
        for (std::int32_t x = 0; x < image->width; ++x, pixel += 3) {
            monoSetPixel(bitmap, x, y, pixel[0] > 127 ? 1 : 0);
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
