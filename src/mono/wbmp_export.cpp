// Writing a WBMP file: an RgbImage is dithered and packed whole, then written in one go; a
// palette picture is dithered, packed and written row by row.
#include "mono/wbmp_export.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mono/dither.h"
#include "mono/mono_bitmap.h"
#include "util/checked.h"
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

// The sum of the greys of every pixel, from a count of each palette index. Four counts per index
// taken in turn keep a run of one index from waiting on its own count.
std::uint64_t indexedGreySum(const IndexedPicture* picture) {
    std::uint64_t counts[4][256] = {};
    const std::int32_t width = picture->width;
    for (std::int32_t y = 0; y < picture->height; ++y) {
        const std::uint8_t* index = picture->rows[y];
        std::int32_t x = 0;
        for (; x <= width - 4; x += 4) {
            ++counts[0][index[x]];
            ++counts[1][index[x + 1]];
            ++counts[2][index[x + 2]];
            ++counts[3][index[x + 3]];
        }
        for (; x < width; ++x)
            ++counts[0][index[x]];
    }
    std::uint64_t sum = 0;
    for (std::size_t entry = 0; entry < 256; ++entry) {
        const std::uint64_t count =
            counts[0][entry] + counts[1][entry] + counts[2][entry] + counts[3][entry];
        sum += count * picture->grey[entry];
    }
    return sum;
}

// Row y's grey values into `greys`.
void fillGreys(const IndexedPicture* picture, std::int32_t y, std::uint8_t* greys) {
    const std::uint8_t* index = picture->rows[y];
    for (std::int32_t x = 0; x < picture->width; ++x)
        greys[x] = picture->grey[index[x]];
}

// Packs a dithered row (every value 0 or 255) into its own first (width + 7) / 8 bytes, white as
// set bits, the leftmost pixel in the high bit, padding bits 0. Byte k is read from bytes
// 8k to 8k + 7 before it is written, so the row can be packed in place. On a little-endian
// machine eight values are packed at once: masking keeps bit 7 - k of value k, and the
// multiplication adds the eight bytes, whose bits do not overlap, into the top byte.
void packRow(std::uint8_t* row, std::int32_t width) {
    std::int32_t x = 0;
    std::int32_t out = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; x <= width - 8; x += 8, ++out) {
            std::uint64_t eight = 0;
            std::memcpy(&eight, row + x, sizeof eight);
            row[out] = static_cast<std::uint8_t>(
                ((eight & 0x0102040810204080u) * 0x0101010101010101u) >> 56);
        }
    }
    for (; x < width; x += 8, ++out) {
        std::uint32_t byte = 0;
        for (std::int32_t bit = 0; bit < 8 && x + bit < width; ++bit)
            byte |= row[x + bit] & bitMask[bit];
        row[out] = static_cast<std::uint8_t>(byte);
    }
}

// Dithers, packs and writes every row; `work` holds two rows of `width` greys.
void streamRows(const IndexedPicture* picture, const DitherPlan* plan, std::uint8_t* work,
                std::FILE* stream) {
    const std::int32_t width = picture->width;
    const std::size_t bytesPerRow = static_cast<std::size_t>(width / 8 + (width % 8 != 0));
    std::uint8_t* row = work;
    std::uint8_t* below = work + width;
    fillGreys(picture, 0, row);
    for (std::int32_t y = 0; y < picture->height; ++y) {
        const bool last = y + 1 == picture->height;
        if (!last) fillGreys(picture, y + 1, below);
        ditherGreyRow(row, last ? nullptr : below, width, plan);
        packRow(row, width);
        std::fwrite(row, 1, bytesPerRow, stream);
        std::uint8_t* const done = row;
        row = below;
        below = done;
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

std::int32_t writeIndexedWbmpFile(const IndexedPicture* picture, const char* path) {
    if (picture->width < 1 || picture->height < 1) return 1;
    std::size_t workBytes = 0;
    if (mulOverflows(static_cast<std::size_t>(picture->width), 2, &workBytes)) return 1;
    auto* work = static_cast<std::uint8_t*>(std::malloc(workBytes));
    if (work == nullptr) return 1;
    DitherPlan plan;
    const auto greySum = static_cast<std::int64_t>(indexedGreySum(picture));  // below 2^63
    ditherPlan(&plan, ditherThreshold(-1, greySum, std::int64_t{picture->width} * picture->height));

    std::int32_t result = 1;
    OutputFile output = openOutputFile(path);
    if (output.stream != nullptr) {
        monoWriteWbmpHeader(picture->width, picture->height, output.stream);
        streamRows(picture, &plan, work, output.stream);
        result = closeOutputFile(&output, path);
    }
    std::free(work);
    return result;
}
