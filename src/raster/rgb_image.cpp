// The RGB raster: one block of row pointers followed by the rows.
#include "raster/rgb_image.h"

#include <cstdlib>

#include "util/checked.h"

std::int32_t rgbImageRowFill(std::int32_t width, std::int32_t alignment) {
    if (alignment <= 0) return 0;
    const std::int32_t rest = width % alignment;
    return rest == 0 ? 0 : alignment - rest;
}

bool rgbImageLayout(std::int32_t width, std::int32_t height, std::int32_t alignment,
                    RgbImageLayout* layout) {
    if (width < 0 || height < 0) return false;
    const std::size_t fill = static_cast<std::size_t>(rgbImageRowFill(width, alignment));
    const std::size_t rowCount = static_cast<std::size_t>(height);
    std::size_t rowBytes = 0;
    std::size_t pixelBytes = 0;
    std::size_t pointerBytes = 0;
    std::size_t blockBytes = 0;
    if (mulOverflows(static_cast<std::size_t>(width) + fill, 3, &rowBytes)) return false;
    if (mulOverflows(rowBytes, rowCount, &pixelBytes)) return false;
    if (mulOverflows(rowCount, sizeof(std::uint8_t*), &pointerBytes)) return false;
    if (addOverflows(pixelBytes, pointerBytes, &blockBytes)) return false;
    if (blockBytes > rgbImageMaxBytes) return false;
    *layout = {rowBytes, pointerBytes, blockBytes};
    return true;
}

std::int32_t rgbImageAllocAligned(RgbImage* image, std::int32_t width, std::int32_t height,
                                  std::int32_t alignment) {
    image->width = width;
    image->height = height;
    image->rows = nullptr;
    image->status = statusAllocRefused;
    RgbImageLayout layout{};
    if (!rgbImageLayout(width, height, alignment, &layout)) return 1;

    // malloc(0) may answer null: ask for at least one byte so that an empty image is valid.
    void* block = std::malloc(layout.blockBytes == 0 ? 1 : layout.blockBytes);
    if (block == nullptr) return 1;

    auto** rows = static_cast<std::uint8_t**>(block);
    std::uint8_t* pixels = static_cast<std::uint8_t*>(block) + layout.pointerBytes;
    for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y)
        rows[y] = pixels + y * layout.rowBytes;
    image->rows = rows;
    image->status = 0;
    return 0;
}

std::int32_t rgbImageAlloc(RgbImage* image, std::int32_t width, std::int32_t height) {
    return rgbImageAllocAligned(image, width, height, rowAlignment);
}

void rgbImageFree(RgbImage* image) {
    if (image->status != 0 || image->rows == nullptr) return;
    std::free(image->rows);
    image->rows = nullptr;
}
