// Grey conversion, mean threshold and Floyd-Steinberg error diffusion, all in place.
//
// The working grey of a pixel lives in its red byte from the grey pass to the final pass.
#include "mono/dither.h"

#include <cstddef>

namespace {

std::uint8_t clampByte(std::int32_t value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

void convertToGrey(RgbImage* image) {
    for (std::int32_t y = 0; y < image->height; ++y) {
        std::uint8_t* pixel = image->rows[y];
        for (std::int32_t x = 0; x < image->width; ++x, pixel += 3) {
            pixel[0] = static_cast<std::uint8_t>((pixel[0] + pixel[1] + pixel[2]) / 3);
        }
    }
}

// The mean grey, summed in 64 bits so that any picture gets its true mean.
std::int32_t meanGrey(const RgbImage* image) {
    std::int64_t sum = 0;
    for (std::int32_t y = 0; y < image->height; ++y) {
        const std::uint8_t* pixel = image->rows[y];
        for (std::int32_t x = 0; x < image->width; ++x, pixel += 3) sum += pixel[0];
    }
    return static_cast<std::int32_t>(sum / (std::int64_t{image->width} * image->height));
}

// Adds error * weight / 16 (truncated toward zero) to a neighbour's grey, clamped to 0-255.
void pushShare(std::uint8_t* grey, std::int32_t error, std::int32_t weight) {
    *grey = clampByte(*grey + error * weight / 16);
}

void diffuse(RgbImage* image, std::int32_t threshold) {
    const std::int32_t width = image->width;
    const std::int32_t lastRow = image->height - 1;
    for (std::int32_t y = 0; y <= lastRow; ++y) {
        std::uint8_t* row = image->rows[y];
        std::uint8_t* below = y < lastRow ? image->rows[y + 1] : nullptr;
        for (std::int32_t x = 0; x < width; ++x) {
            const std::ptrdiff_t at = 3 * static_cast<std::ptrdiff_t>(x);
            const std::int32_t value = row[at];
            std::int32_t error = value;
            if (value < threshold) {
                row[at] = 0;
            } else {
                row[at] = 255;
                error = value - 255;
            }
            if (error == 0) continue;  // every share would be 0
            const bool hasRight = x < width - 1;
            if (hasRight) pushShare(&row[at + 3], error, 7);
            if (below == nullptr) continue;
            if (x > 0) pushShare(&below[at - 3], error, 3);
            pushShare(&below[at], error, 5);
            if (hasRight) pushShare(&below[at + 3], error, 1);
        }
    }
}

void spreadRedToAll(RgbImage* image) {
    for (std::int32_t y = 0; y < image->height; ++y) {
        std::uint8_t* pixel = image->rows[y];
        for (std::int32_t x = 0; x < image->width; ++x, pixel += 3) {
            pixel[2] = pixel[0];
            pixel[1] = pixel[2];
        }
    }
}

}  // namespace

void ditherToBlackWhite(RgbImage* image, std::int32_t threshold) {
    if (image->width <= 0 || image->height <= 0) return;
    convertToGrey(image);
    if (threshold < 0) threshold = meanGrey(image);
    if (threshold > 255) threshold = 255;
    diffuse(image, threshold);
    spreadRedToAll(image);
}
