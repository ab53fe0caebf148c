// Grey conversion, mean threshold and Floyd-Steinberg error diffusion, all in place.
//
// The working grey of a pixel lives in its red byte from the grey pass until the pixel is
// decided; the diffusion then writes the black or white value into all three bytes at once,
// which is what a final pass copying red into blue and green would leave.
#include "mono/dither.h"

#include <array>
#include <cstddef>

namespace {

constexpr std::int32_t maxError = 255;

// The four shares of an error, in sixteenths truncated toward zero: right 7, lower left 3,
// below 5, lower right 1.
struct Shares {
    std::int16_t right;
    std::int16_t lowerLeft;
    std::int16_t below;
    std::int16_t lowerRight;
};

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

// (red + green + blue) / 3 for every sum of three bytes.
constexpr std::array<std::uint8_t, 3 * 255 + 1> makeThirds() {
    std::array<std::uint8_t, 3 * 255 + 1> table{};
    for (std::size_t sum = 0; sum < table.size(); ++sum) {
        table[sum] = static_cast<std::uint8_t>(sum / 3);
    }
    return table;
}
constexpr std::array<std::uint8_t, 3 * 255 + 1> thirds = makeThirds();

// Grey pass: red becomes (red + green + blue) / 3. Returns the sum of the greys.
std::int64_t convertToGrey(RgbImage* image) {
    const std::int32_t width = image->width;
    std::uint64_t sum = 0;
    for (std::int32_t y = 0; y < image->height; ++y) {
        std::uint8_t* pixel = image->rows[y];
        for (std::int32_t x = 0; x < width; ++x, pixel += 3) {
            const std::uint32_t grey =
                thirds[static_cast<std::size_t>(pixel[0]) + pixel[1] + pixel[2]];
            pixel[0] = static_cast<std::uint8_t>(grey);
            sum += grey;
        }
    }
    return static_cast<std::int64_t>(sum);  // at most 255 per pixel: far below 2^63
}

// The state of one row's diffusion: the value of the pixel being decided, with the shares it
// has received, and the two pixels of the row below that still receive shares from it.
struct RowState {
    std::ptrdiff_t current;    // red of (x, y)
    std::ptrdiff_t belowLeft;  // red of (x - 1, y + 1), waiting for its lower-left share
    std::ptrdiff_t belowHere;  // red of (x, y + 1), waiting for its share from above
};

// The shares that a pixel of each grey value pushes, once the threshold is known: the value
// alone decides the pixel and its error, so the diffusion looks its shares up directly.
using ShareChoice = std::array<Shares, 256>;

void chooseShares(std::int32_t threshold, ShareChoice* choice) {
    for (std::int32_t value = 0; value < 256; ++value) {
        const std::int32_t decided = value >= threshold ? 255 : 0;  // a tie goes to white
        (*choice)[static_cast<std::size_t>(value)] =
            shareTable[static_cast<std::size_t>(value - decided + maxError)];
    }
}

// Decides pixel x of `row`, writes it to all three bytes and pushes the error's shares into the
// neighbours that exist. The shares reach each neighbour in the order of a plain scan, each
// sum clamped before the next, so the result is that of pushing them one by one into memory.
template <bool hasLeft, bool hasRight, bool hasBelow>
inline void decidePixel(std::uint8_t* row, std::uint8_t* below, std::ptrdiff_t at,
                        std::ptrdiff_t threshold, const ShareChoice& choice, RowState* state) {
    const std::ptrdiff_t value = state->current;
    const Shares& shares = choice[static_cast<std::size_t>(value)];
    // 255 when value >= threshold, else 0; no branch on the pixel.
    const auto decided = static_cast<std::uint8_t>(0 - static_cast<int>(value >= threshold));
    row[at] = decided;
    row[at + 1] = decided;
    row[at + 2] = decided;
    if (hasRight) state->current = addShare(row[at + 3], shares.right);
    if (!hasBelow) return;
    if (hasLeft) {
        below[at - 3] = static_cast<std::uint8_t>(addShare(state->belowLeft, shares.lowerLeft));
    }
    state->belowLeft = addShare(state->belowHere, shares.below);
    if (hasRight) state->belowHere = addShare(below[at + 3], shares.lowerRight);
}

template <bool hasBelow>
void diffuseRow(std::uint8_t* row, std::uint8_t* below, std::int32_t width,
                std::ptrdiff_t threshold, const ShareChoice& choice) {
    RowState state{row[0], 0, hasBelow ? below[0] : 0};
    const std::ptrdiff_t last = 3 * static_cast<std::ptrdiff_t>(width - 1);
    if (width == 1) {
        decidePixel<false, false, hasBelow>(row, below, 0, threshold, choice, &state);
    } else {
        decidePixel<false, true, hasBelow>(row, below, 0, threshold, choice, &state);
        for (std::ptrdiff_t at = 3; at < last; at += 3) {
            decidePixel<true, true, hasBelow>(row, below, at, threshold, choice, &state);
        }
        decidePixel<true, false, hasBelow>(row, below, last, threshold, choice, &state);
    }
    if (hasBelow) below[last] = static_cast<std::uint8_t>(state.belowLeft);
}

void diffuse(RgbImage* image, std::int32_t threshold) {
    ShareChoice choice;
    chooseShares(threshold, &choice);
    const std::int32_t lastRow = image->height - 1;
    for (std::int32_t y = 0; y < lastRow; ++y) {
        diffuseRow<true>(image->rows[y], image->rows[y + 1], image->width, threshold, choice);
    }
    diffuseRow<false>(image->rows[lastRow], nullptr, image->width, threshold, choice);
}

}  // namespace

void ditherToBlackWhite(RgbImage* image, std::int32_t threshold) {
    if (image->width <= 0 || image->height <= 0) return;
    const std::int64_t greySum = convertToGrey(image);
    // The sum is 64-bit, so that any picture gets its true mean. A mean of 0 would send every
    // pixel to white (a tie goes to white), so a picture that dark is dithered at 1 instead:
    // its black stays black and a detail brighter than that stays bright.
    if (threshold < 0) {
        threshold =
            static_cast<std::int32_t>(greySum / (std::int64_t{image->width} * image->height));
        if (threshold == 0) threshold = 1;
    }
    if (threshold > 255) threshold = 255;
    diffuse(image, threshold);
}
