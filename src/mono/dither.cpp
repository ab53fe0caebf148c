// Grey conversion, mean threshold and Floyd-Steinberg error diffusion.
//
// One row kernel, diffuseRow, serves rows of grey values laid out with a stride: 3 on an
// RgbImage, where the working grey of a pixel lives in its red byte from the grey pass until the
// pixel is decided and the decision is written into all three bytes at once (what a final pass
// copying red into blue and green would leave), and 1 on rows of grey bytes.
#include "mono/dither.h"

#include <array>
#include <cstddef>

namespace {

constexpr std::int32_t maxError = 255;

// The four shares of an error, in sixteenths truncated toward zero: right 7, lower left 3,
// below 5, lower right 1.
using Shares = DitherShare;

constexpr std::array<Shares, 2 * maxError + 1> makeShareTable() {
    std::array<Shares, 2 * maxError + 1> table{};
    for (std::int32_t error = -maxError; error <= maxError; ++error) {
        table[static_cast<std::size_t>(error + maxError)] = {
            static_cast<std::int16_t>(error * 7 / 16), static_cast<std::int16_t>(error * 3 / 16),
            static_cast<std::int16_t>(error * 5 / 16), static_cast<std::int16_t>(error * 1 / 16)};
    }
    return table;
}
constexpr std::array<Shares, 2 * maxError + 1> shareTable = makeShareTable();

// A grey plus a share lies in -maxShare to 255 + maxShare; the table clamps it to 0-255.
constexpr std::int32_t maxShare = maxError * 7 / 16;

constexpr std::array<std::uint8_t, 256 + 2 * maxShare> makeClampTable() {
    std::array<std::uint8_t, 256 + 2 * maxShare> table{};
    for (std::int32_t value = -maxShare; value < 256 + maxShare; ++value) {
        table[static_cast<std::size_t>(value + maxShare)] =
            static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
    }
    return table;
}
constexpr std::array<std::uint8_t, 256 + 2 * maxShare> clampTable = makeClampTable();

// grey + share, clamped to 0-255. Pointer-sized operands keep the index free of conversions.
inline std::ptrdiff_t addShare(std::ptrdiff_t grey, std::ptrdiff_t share) {
    return clampTable[static_cast<std::size_t>(grey + share + maxShare)];
}

// Grey pass: red becomes (red + green + blue) / 3. Returns the sum of the greys.
std::int64_t convertToGrey(RgbImage* image) {
    const std::int32_t width = image->width;
    std::uint64_t sum = 0;
    for (std::int32_t y = 0; y < image->height; ++y) {
        std::uint8_t* pixel = image->rows[y];
        for (std::int32_t x = 0; x < width; ++x, pixel += 3) {
            const std::uint8_t grey = ditherGrey(pixel[0], pixel[1], pixel[2]);
            pixel[0] = grey;
            sum += grey;
        }
    }
    return static_cast<std::int64_t>(sum);  // at most 255 per pixel: far below 2^63
}

// The state of one row's diffusion: the value of the pixel being decided, with the shares it
// has received, and the two pixels of the row below that still receive shares from it.
struct RowState {
    std::ptrdiff_t current;    // grey of (x, y)
    std::ptrdiff_t belowLeft;  // grey of (x - 1, y + 1), waiting for its lower-left share
    std::ptrdiff_t belowHere;  // grey of (x, y + 1), waiting for its share from above
};

// Decides the pixel at `at` (a byte offset; pixels lie `stride` bytes apart), writes 0 or 255
// into its `stride` bytes and pushes the error's shares into the neighbours that exist. The
// shares reach each neighbour in the order of a plain scan, each sum clamped before the next,
// so the result is that of pushing them one by one into memory.
template <std::ptrdiff_t stride, bool hasLeft, bool hasRight, bool hasBelow>
inline void decidePixel(std::uint8_t* row, std::uint8_t* below, std::ptrdiff_t at,
                        std::ptrdiff_t threshold, const DitherPlan& plan, RowState* state) {
    const std::ptrdiff_t value = state->current;
    const Shares& shares = plan.byGrey[static_cast<std::size_t>(value)];
    // 255 when value >= threshold, else 0; no branch on the pixel.
    const auto decided = static_cast<std::uint8_t>(0 - static_cast<int>(value >= threshold));
    for (std::ptrdiff_t byte = 0; byte < stride; ++byte)
        row[at + byte] = decided;
    if (hasRight) state->current = addShare(row[at + stride], shares.right);
    if (!hasBelow) return;
    if (hasLeft) {
        below[at - stride] =
            static_cast<std::uint8_t>(addShare(state->belowLeft, shares.lowerLeft));
    }
    state->belowLeft = addShare(state->belowHere, shares.below);
    if (hasRight) state->belowHere = addShare(below[at + stride], shares.lowerRight);
}

// The row kernel: decides `width` (at least 1) pixels of `row`, `stride` bytes apart, carrying
// the two pixels of the row below that are still open in registers.
template <std::ptrdiff_t stride, bool hasBelow>
void diffuseRow(std::uint8_t* row, std::uint8_t* below, std::int32_t width,
                const DitherPlan& plan) {
    // The threshold is held apart from the plan: the stores into the rows could otherwise make
    // the compiler read it again for every pixel.
    const std::ptrdiff_t threshold = plan.threshold;
    RowState state{row[0], 0, hasBelow ? below[0] : 0};
    const std::ptrdiff_t last = stride * static_cast<std::ptrdiff_t>(width - 1);
    if (width == 1) {
        decidePixel<stride, false, false, hasBelow>(row, below, 0, threshold, plan, &state);
    } else {
        decidePixel<stride, false, true, hasBelow>(row, below, 0, threshold, plan, &state);
        for (std::ptrdiff_t at = stride; at < last; at += stride) {
            decidePixel<stride, true, true, hasBelow>(row, below, at, threshold, plan, &state);
        }
        decidePixel<stride, true, false, hasBelow>(row, below, last, threshold, plan, &state);
    }
    if (hasBelow) below[last] = static_cast<std::uint8_t>(state.belowLeft);
}

// The diffusion of a whole raster. Kept out of line, with its plan on its own stack, so that the
// kernel's loop has the registers to itself and reads the shares at fixed stack offsets
// (inlined into a larger caller, the threshold was spilled and the shares read through a pointer).
[[gnu::noinline]] void diffuse(RgbImage* image, std::int32_t threshold) {
    DitherPlan plan;
    ditherPlan(&plan, threshold);
    const std::int32_t lastRow = image->height - 1;
    for (std::int32_t y = 0; y < lastRow; ++y) {
        diffuseRow<3, true>(image->rows[y], image->rows[y + 1], image->width, plan);
    }
    diffuseRow<3, false>(image->rows[lastRow], nullptr, image->width, plan);
}

}  // namespace

void ditherToBlackWhite(RgbImage* image, std::int32_t threshold) {
    if (image->width <= 0 || image->height <= 0) return;
    const std::int64_t greySum = convertToGrey(image);
    diffuse(image, ditherThreshold(threshold, greySum, std::int64_t{image->width} * image->height));
}

std::int32_t ditherThreshold(std::int32_t threshold, std::int64_t greySum,
                             std::int64_t pixelCount) {
    // The sum is 64-bit, so that any picture gets its true mean. A mean of 0 would send every
    // pixel to white (a tie goes to white), so a picture that dark is dithered at 1 instead:
    // its black stays black and a detail brighter than that stays bright.
    if (threshold < 0) {
        threshold = static_cast<std::int32_t>(greySum / pixelCount);
        if (threshold == 0) threshold = 1;
    }
    return threshold > 255 ? 255 : threshold;
}

void ditherPlan(DitherPlan* plan, std::int32_t threshold) {
    plan->threshold = threshold;
    for (std::int32_t value = 0; value < 256; ++value) {
        const std::int32_t decided = value >= threshold ? 255 : 0;  // a tie goes to white
        plan->byGrey[static_cast<std::size_t>(value)] =
            shareTable[static_cast<std::size_t>(value - decided + maxError)];
    }
}

void ditherGreyRow(std::uint8_t* row, std::uint8_t* below, std::int32_t width,
                   const DitherPlan* plan) {
    if (below != nullptr) {
        diffuseRow<1, true>(row, below, width, *plan);
    } else {
        diffuseRow<1, false>(row, nullptr, width, *plan);
    }
}
