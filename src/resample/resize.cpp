// Target size and resampling dispatch.
#include "resample/resize.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "resample/enlarge.h"
#include "resample/reduce.h"
#include "util/checked.h"

namespace {

constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();

// The end of a reduction known to stop at an edge product, reached without building anything:
// the full run would allocate the destination, stop, release the block and add the bit.
std::int32_t refuseReduction(RgbImage* dest, std::int32_t width, std::int32_t height) {
    dest->width = width;
    dest->height = height;
    dest->rows = nullptr;
    dest->status = statusResizeReduceFailed;
    return statusResizeReduceFailed;
}

// Reduces `from` into `dest`. A failed reduction releases the block it may have left behind
// and adds its bit to the status.
std::int32_t reduceInto(RgbImage* dest, std::int32_t width, std::int32_t height,
                        const RgbImage* from) {
    if (reduceImage(dest, width, height, from) == 0) return 0;
    rgbImageFree(dest);
    dest->status |= statusResizeReduceFailed;
    return statusResizeReduceFailed;
}

// The enlarged raster made row by row for the reduction, one buffer per slot; each buffer
// remembers which row it holds, and a row already held in another slot is copied from there.
// The rows made from a single source row are all alike and are kept as row 0.
struct EnlargedRows {
    EnlargeRows plan;
    std::size_t rowBytes;
    std::uint8_t* buffers[3];
    std::int32_t held[3];
};

const std::uint8_t* makeEnlargedRow(void* user, std::int32_t y, std::int32_t slot) {
    auto* enlarged = static_cast<EnlargedRows*>(user);
    if (enlarged->plan.source->height == 1) y = 0;  // every row is the same
    std::uint8_t* buffer = enlarged->buffers[slot];
    if (enlarged->held[slot] == y) return buffer;
    const std::uint8_t* copy = nullptr;
    for (int other = 0; other < 3; ++other) {
        if (enlarged->held[other] == y) copy = enlarged->buffers[other];
    }
    if (copy != nullptr) {
        std::memcpy(buffer, copy, enlarged->rowBytes);
    } else {
        enlargeRow(&enlarged->plan, y, buffer);
    }
    enlarged->held[slot] = y;
    return buffer;
}

}  // namespace

std::int32_t resizeImage(RgbImage* dest, std::int32_t width, std::int32_t height,
                         const RgbImage* source, std::int32_t exactSize) {
    if (source->status != 0 || source->width < 1 || source->height < 1) {
        dest->status = statusResizeBadSource;
        return statusResizeBadSource;
    }
    if (width <= 0 && height <= 0) {
        dest->status = statusResizeBadSize;
        return statusResizeBadSize;
    }

    const std::int32_t sourceWidth = source->width;
    const std::int32_t sourceHeight = source->height;
    const std::int64_t sw = sourceWidth;
    const std::int64_t sh = sourceHeight;
    std::int64_t targetWidth = width;
    std::int64_t targetHeight = height;
    if (targetWidth <= 0) {
        targetWidth = targetHeight * sw / sh;
    } else if (targetHeight <= 0) {
        targetHeight = targetWidth * sh / sw;
    } else if (exactSize == 0) {
        if (targetWidth * sh > targetHeight * sw) {
            targetWidth = targetHeight * sw / sh;
        } else {
            targetHeight = targetWidth * sh / sw;
        }
    }
    if (targetWidth > int32Max || targetHeight > int32Max) {
        dest->status = statusResizeBadSize;
        return statusResizeBadSize;
    }
    const auto w = static_cast<std::int32_t>(targetWidth);
    const auto h = static_cast<std::int32_t>(targetHeight);

    if (w <= sourceWidth && h <= sourceHeight) {
        if (reduceEdgesOverflow(w, h, sourceWidth, sourceHeight) != 0) {
            return refuseReduction(dest, w, h);
        }
        return reduceInto(dest, w, h, source);
    }

    // The enlarged raster is never held whole: the reduction asks for its rows one at a time
    // and they are made on the spot, the same bytes that enlargeImage would store. A reduction
    // bound to fail is refused before any row is made.
    EnlargedRows enlarged{};
    if (enlargeRowsBegin(&enlarged.plan, w, h, source) != 0) {
        dest->status = statusResizeEnlargeFailed;
        return statusResizeEnlargeFailed;
    }
    if (reduceEdgesOverflow(w, h, enlarged.plan.width, enlarged.plan.height) != 0) {
        return refuseReduction(dest, w, h);
    }
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(enlarged.plan.width);
    enlarged.rowBytes = rowBytes;
    std::size_t bufferBytes = 0;
    std::uint8_t* block = nullptr;
    if (!mulOverflows(rowBytes, 3, &bufferBytes)) {
        block = static_cast<std::uint8_t*>(std::malloc(bufferBytes));
    }
    if (block == nullptr) {
        dest->status = statusResizeEnlargeFailed;
        return statusResizeEnlargeFailed;
    }
    for (int slot = 0; slot < 3; ++slot) {
        enlarged.buffers[slot] = block + static_cast<std::size_t>(slot) * rowBytes;
        enlarged.held[slot] = -1;
    }
    const std::int32_t reduced = reduceMadeRows(dest, w, h, enlarged.plan.width,
                                                enlarged.plan.height, makeEnlargedRow, &enlarged);
    std::free(block);
    if (reduced == 0) return 0;
    rgbImageFree(dest);
    dest->status |= statusResizeReduceFailed;
    return statusResizeReduceFailed;
}
