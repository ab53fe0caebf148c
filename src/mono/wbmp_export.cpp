// Writing a WBMP file: one writer takes rows of grey values from an RgbImage, a palette picture
// or a grey picture, and dithers, packs and writes them row by row.
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

// Rows of grey values as the writer takes them: row y's `width` greys from `fill`, the sum of
// all of them, and `decided` (or null), shown each row once it is dithered (every value 0 or 255).
struct GreyRows {
    std::int32_t width;
    std::int32_t height;
    std::uint64_t greySum;
    void (*fill)(const void* picture, std::int32_t y, std::uint8_t* greys);
    void (*decided)(const void* picture, std::int32_t y, const std::uint8_t* values);
    const void* picture;
};

// Dithers, packs and writes every row; `work` holds two rows of `width` greys.
void streamRows(const GreyRows* rows, const DitherPlan* plan, std::uint8_t* work,
                std::FILE* stream) {
    const std::int32_t width = rows->width;
    const std::size_t bytesPerRow = static_cast<std::size_t>(width / 8 + (width % 8 != 0));
    std::uint8_t* row = work;
    std::uint8_t* below = work + width;
    rows->fill(rows->picture, 0, row);
    for (std::int32_t y = 0; y < rows->height; ++y) {
        const bool last = y + 1 == rows->height;
        if (!last) rows->fill(rows->picture, y + 1, below);
        ditherGreyRow(row, last ? nullptr : below, width, plan);
        if (rows->decided != nullptr) rows->decided(rows->picture, y, row);
        packRow(row, width);
        std::fwrite(row, 1, bytesPerRow, stream);
        std::uint8_t* const done = row;
        row = below;
        below = done;
    }
}

// The one writer: the rows dithered at their mean grey, packed and written to `path`, which is
// opened once the working memory is allocated. Results as writeWbmpFile.
std::int32_t writeGreyRows(const GreyRows* rows, const char* path) {
    if (rows->width < 1 || rows->height < 1) return 1;
    std::size_t workBytes = 0;
    if (mulOverflows(static_cast<std::size_t>(rows->width), 2, &workBytes)) return 1;
    auto* work = static_cast<std::uint8_t*>(std::malloc(workBytes));
    if (work == nullptr) return 1;
    DitherPlan plan;
    const auto greySum = static_cast<std::int64_t>(rows->greySum);  // below 2^63
    ditherPlan(&plan, ditherThreshold(-1, greySum, std::int64_t{rows->width} * rows->height));

    std::int32_t result = 1;
    OutputFile output = openOutputFile(path);
    if (output.stream != nullptr) {
        monoWriteWbmpHeader(rows->width, rows->height, output.stream);
        streamRows(rows, &plan, work, output.stream);
        result = closeOutputFile(&output, path);
    }
    std::free(work);
    return result;
}

// Row y of an RgbImage as greys; a dithered row written back into all three bytes of each pixel.
void fillImageGreys(const void* picture, std::int32_t y, std::uint8_t* greys) {
    const auto* image = static_cast<const RgbImage*>(picture);
    const std::uint8_t* pixel = image->rows[y];
    for (std::int32_t x = 0; x < image->width; ++x, pixel += 3)
        greys[x] = ditherGrey(pixel[0], pixel[1], pixel[2]);
}

void keepDecided(const void* picture, std::int32_t y, const std::uint8_t* values) {
    const auto* image = static_cast<const RgbImage*>(picture);
    std::uint8_t* pixel = image->rows[y];
    for (std::int32_t x = 0; x < image->width; ++x, pixel += 3)
        pixel[0] = pixel[1] = pixel[2] = values[x];
}

// Row y of a palette picture as greys, through its table.
void fillIndexedGreys(const void* picture, std::int32_t y, std::uint8_t* greys) {
    const auto* indexed = static_cast<const IndexedPicture*>(picture);
    const std::uint8_t* index = indexed->rows[y];
    for (std::int32_t x = 0; x < indexed->width; ++x)
        greys[x] = indexed->grey[index[x]];
}

// Row y of a grey picture.
void fillPictureGreys(const void* picture, std::int32_t y, std::uint8_t* greys) {
    const auto* grey = static_cast<const GreyPicture*>(picture);
    const auto width = static_cast<std::size_t>(grey->width);
    std::memcpy(greys, grey->pixels + static_cast<std::size_t>(y) * width, width);
}

}  // namespace

std::int32_t writeWbmpFile(RgbImage* image, const char* path) {
    if (image->width < 1 || image->height < 1) return 1;
    std::uint64_t greySum = 0;
    for (std::int32_t y = 0; y < image->height; ++y) {
        const std::uint8_t* pixel = image->rows[y];
        for (std::int32_t x = 0; x < image->width; ++x, pixel += 3)
            greySum += ditherGrey(pixel[0], pixel[1], pixel[2]);
    }
    const GreyRows rows{image->width, image->height, greySum, fillImageGreys, keepDecided, image};
    return writeGreyRows(&rows, path);
}

std::int32_t writeIndexedWbmpFile(const IndexedPicture* picture, const char* path) {
    if (picture->width < 1 || picture->height < 1) return 1;
    const GreyRows rows{picture->width,   picture->height, indexedGreySum(picture),
                        fillIndexedGreys, nullptr,         picture};
    return writeGreyRows(&rows, path);
}

std::int32_t writeGreyWbmpFile(const GreyPicture* picture, const char* path) {
    const GreyRows rows{picture->width,   picture->height, picture->greySum,
                        fillPictureGreys, nullptr,         picture};
    return writeGreyRows(&rows, path);
}
