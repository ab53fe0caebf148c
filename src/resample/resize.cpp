// Target size and resampling dispatch.
#include "resample/resize.h"

#include <limits>

#include "resample/enlarge.h"
#include "resample/reduce.h"

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

// Reduces `input` into `dest`. A failed reduction releases the block it may have left behind
// and adds its bit to the status.
std::int32_t reduceInto(RgbImage* dest, std::int32_t width, std::int32_t height,
                        const ReduceInput* input) {
    if (reduceInputToImage(dest, width, height, input) == 0) return 0;
    rgbImageFree(dest);
    dest->status |= statusResizeReduceFailed;
    return statusResizeReduceFailed;
}

}  // namespace

std::int32_t resizeImage(RgbImage* dest, std::int32_t width, std::int32_t height,
                         const RgbImage* source, std::int32_t exactSize) {
    if (source->status != 0 || source->width < 1 || source->height < 1) {
        dest->status = statusResizeBadSource;
        return statusResizeBadSource;
    }
    ResizePlan plan{};
    const std::int32_t planned =
        resizePlan(width, height, source->width, source->height, exactSize, &plan);
    if (planned == statusResizeReduceFailed) return refuseReduction(dest, plan.width, plan.height);
    if (planned != 0) {
        dest->status = planned;
        return planned;
    }
    const PixelSource pixels = pixelSourceOfImage(source);
    if (plan.workWidth == source->width && plan.workHeight == source->height) {
        const ReduceInput input{&pixels, nullptr};
        return reduceInto(dest, plan.width, plan.height, &input);
    }
    // Larger on either axis: the enlargement is made row by row as the reduction reads it.
    EnlargeRows enlarged{};
    if (enlargeRowsBegin(&enlarged, plan.width, plan.height, &pixels) != 0) {
        dest->status = statusResizeEnlargeFailed;
        return statusResizeEnlargeFailed;
    }
    const ReduceInput input{&pixels, &enlarged};
    const std::int32_t result = reduceInto(dest, plan.width, plan.height, &input);
    enlargeRowsEnd(&enlarged);
    return result;
}

std::int32_t resizeToGrey(GreyPicture* dest, const ResizePlan* plan, const PixelSource* source) {
    if (plan->workWidth == source->width && plan->workHeight == source->height) {
        const ReduceInput input{source, nullptr};
        return reduceToGrey(dest, plan->width, plan->height, &input);
    }
    EnlargeRows enlarged{};
    if (enlargeRowsBegin(&enlarged, plan->width, plan->height, source) != 0) return 1;
    const ReduceInput input{source, &enlarged};
    const std::int32_t result = reduceToGrey(dest, plan->width, plan->height, &input);
    enlargeRowsEnd(&enlarged);
    return result;
}

std::int32_t resizePlan(std::int32_t width, std::int32_t height, std::int32_t sourceWidth,
                        std::int32_t sourceHeight, std::int32_t exactSize, ResizePlan* plan) {
    std::int32_t w = 0;
    std::int32_t h = 0;
    if (resizeTargetSize(width, height, sourceWidth, sourceHeight, exactSize, &w, &h) != 0) {
        return statusResizeBadSize;
    }
    *plan = {w, h, sourceWidth, sourceHeight};
    // Larger on either axis: the reduction reads the enlargement.
    if ((w > sourceWidth || h > sourceHeight) &&
        enlargedSize(w, h, sourceWidth, sourceHeight, &plan->workWidth, &plan->workHeight) != 0) {
        return statusResizeEnlargeFailed;
    }
    if (reduceEdgesOverflow(w, h, plan->workWidth, plan->workHeight) != 0) {
        return statusResizeReduceFailed;
    }
    return 0;
}

std::int32_t resizeTargetSize(std::int32_t width, std::int32_t height, std::int32_t sourceWidth,
                              std::int32_t sourceHeight, std::int32_t exactSize,
                              std::int32_t* targetWidth, std::int32_t* targetHeight) {
    if (width <= 0 && height <= 0) return 1;
    const std::int64_t sw = sourceWidth;
    const std::int64_t sh = sourceHeight;
    std::int64_t w = width;
    std::int64_t h = height;
    if (w <= 0) {
        w = h * sw / sh;
    } else if (h <= 0) {
        h = w * sh / sw;
    } else if (exactSize == 0) {
        if (w * sh > h * sw) {
            w = h * sw / sh;
        } else {
            h = w * sh / sw;
        }
    }
    if (w > int32Max || h > int32Max) return 1;
    *targetWidth = static_cast<std::int32_t>(w);
    *targetHeight = static_cast<std::int32_t>(h);
    return 0;
}
