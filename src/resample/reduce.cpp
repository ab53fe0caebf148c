// Area-averaging reduction on a grid of 1/128 source pixel.
//
// Destination pixel (x, y) covers the source rectangle from L = x * sw * 128 / dw to
// R = (x + 1) * sw * 128 / dw across and from T = y * sh * 128 / dh to B = (y + 1) * sh * 128 / dh
// down, in 1/128 pixel. Each edge is cut into a partial pixel band, a band of whole pixels and
// a second partial band, which gives nine regions; each adds its truncated mean colour times
// its area (>> 7), and the total is divided by the rectangle's area (>> 7). Pixels are
// produced in scan order until an edge product would pass 2,147,483,647.
#include "resample/reduce.h"

#include <cstring>
#include <limits>

namespace {

constexpr std::int32_t subPixelShift = 7;
constexpr std::int32_t subPixel = std::int32_t{1} << subPixelShift;
constexpr std::int32_t wholeMask = ~(subPixel - 1);
constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();

// Truncated quotient of non-negative numbers, in 32 bits when both fit (a shorter division).
inline std::uint64_t divideUnsigned(std::uint64_t numerator, std::uint64_t divisor) {
    if (((numerator | divisor) >> 32) == 0) {
        return static_cast<std::uint32_t>(numerator) / static_cast<std::uint32_t>(divisor);
    }
    return numerator / divisor;
}

// The body of accumulateRegion; sums[0..2] are red, green and blue. A region whose weight
// shifts down to 0 would add its mean times 0, so it is not read.
inline void accumulate(std::uint8_t* const* rows, std::int32_t left, std::int32_t top,
                       std::int32_t right, std::int32_t bottom, std::int64_t* sums,
                       std::int64_t weight, std::int32_t sourceWidth, std::int32_t sourceHeight) {
    left >>= subPixelShift;
    top >>= subPixelShift;
    right >>= subPixelShift;
    bottom >>= subPixelShift;
    if (left >= right || top >= bottom) return;
    weight >>= subPixelShift;
    if (right > sourceWidth) right = sourceWidth;
    if (bottom > sourceHeight) bottom = sourceHeight;
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (weight == 0 || left >= right || top >= bottom) return;

    std::uint64_t mean[3];
    const std::size_t first = 3 * static_cast<std::size_t>(left);
    if (right - left == 1 && bottom - top == 1) {
        const std::uint8_t* pixel = rows[top] + first;
        mean[0] = pixel[0];
        mean[1] = pixel[1];
        mean[2] = pixel[2];
    } else {
        const std::size_t end = 3 * static_cast<std::size_t>(right);
        std::uint64_t red = 0;
        std::uint64_t green = 0;
        std::uint64_t blue = 0;
        for (std::int32_t y = top; y < bottom; ++y) {
            const std::uint8_t* row = rows[y];
            for (std::size_t at = first; at < end; at += 3) {
                red += row[at];
                green += row[at + 1];
                blue += row[at + 2];
            }
        }
        const std::uint64_t count = static_cast<std::uint64_t>(right - left) *
                                    static_cast<std::uint64_t>(bottom - top);
        mean[0] = divideUnsigned(red, count);
        mean[1] = divideUnsigned(green, count);
        mean[2] = divideUnsigned(blue, count);
    }
    // Unsigned so that no weight, however large, can make the addition undefined.
    const std::uint64_t factor = static_cast<std::uint64_t>(weight);
    for (int channel = 0; channel < 3; ++channel) {
        sums[channel] = static_cast<std::int64_t>(static_cast<std::uint64_t>(sums[channel]) +
                                                  mean[channel] * factor);
    }
}

// Destination pixels along an axis whose far edge (index + 1) * sourceSize * 128 stays within
// the signed 32-bit range (the near edge is smaller), at most `count`.
std::int32_t edgeLimit(std::int32_t count, std::int32_t sourceSize) {
    const std::int64_t span = std::int64_t{sourceSize} * subPixel;
    if (span <= 0) return count;
    const std::int64_t limit = int32Max / span;
    return limit < count ? static_cast<std::int32_t>(limit) : count;
}

// Writes destination rows [0, rowCount) and in each the columns [0, columnCount), all of whose
// edges fit 32 bits.
void reducePixels(RgbImage* dest, const RgbImage* source, std::int32_t rowCount,
                  std::int32_t columnCount) {
    const std::int32_t sw = source->width;
    const std::int32_t sh = source->height;
    const std::int32_t dw = dest->width;
    const std::int32_t dh = dest->height;
    std::uint8_t* const* rows = source->rows;

    if (sw == dw && sh == dh) {
        // Every cell is exactly one source pixel: the top-left corner region alone, weight
        // 128 * 128 >> 7 over an area of 128, gives the pixel back unchanged.
        const std::size_t bytes = 3 * static_cast<std::size_t>(columnCount);
        for (std::int32_t y = 0; y < rowCount; ++y) std::memcpy(dest->rows[y], rows[y], bytes);
        return;
    }

    // Column edges step by sw * 128 / dw with the remainder carried, which gives the same values
    // as x * sw * 128 / dw without a division per pixel.
    const std::int64_t spanX = std::int64_t{sw} * subPixel;
    const std::int64_t stepX = spanX / dw;
    const std::int64_t carryX = spanX % dw;
    const std::int64_t spanY = std::int64_t{sh} * subPixel;

    for (std::int32_t y = 0; y < rowCount; ++y) {
        const auto t = static_cast<std::int32_t>(y * spanY / dh);
        const auto b = static_cast<std::int32_t>((y + 1) * spanY / dh);
        const std::int32_t tf = t & wholeMask;
        const std::int32_t tc = tf + subPixel;
        const std::int32_t bf = b & wholeMask;
        const std::int32_t bc = bf + subPixel;
        const std::int64_t topHeight = tc - t;
        const std::int64_t middleHeight = bf - tc;
        const std::int64_t bottomHeight = b - bf;
        const std::int64_t cellHeight = b - t;

        std::uint8_t* out = dest->rows[y];
        std::int32_t l = 0;
        std::int64_t remainder = 0;
        for (std::int32_t x = 0; x < columnCount; ++x, out += 3) {
            auto r = static_cast<std::int32_t>(l + stepX);
            remainder += carryX;
            if (remainder >= dw) {
                remainder -= dw;
                ++r;
            }
            const std::int32_t lf = l & wholeMask;
            const std::int32_t lc = lf + subPixel;
            const std::int32_t rf = r & wholeMask;
            const std::int32_t rc = rf + subPixel;
            const std::int64_t leftWidth = lc - l;
            const std::int64_t middleWidth = rf - lc;
            const std::int64_t rightWidth = r - rf;

            std::int64_t sums[3] = {0, 0, 0};
            accumulate(rows, lc, tc, rf, bf, sums, middleWidth * middleHeight, sw, sh);
            accumulate(rows, lf, tf, lc, tc, sums, leftWidth * topHeight, sw, sh);
            accumulate(rows, rf, tf, rc, tc, sums, rightWidth * topHeight, sw, sh);
            accumulate(rows, lf, bf, lc, bc, sums, leftWidth * bottomHeight, sw, sh);
            accumulate(rows, rf, bf, rc, bc, sums, rightWidth * bottomHeight, sw, sh);
            accumulate(rows, lc, tf, rf, tc, sums, middleWidth * topHeight, sw, sh);
            accumulate(rows, lc, bf, rf, bc, sums, middleWidth * bottomHeight, sw, sh);
            accumulate(rows, lf, tc, lc, bf, sums, leftWidth * middleHeight, sw, sh);
            accumulate(rows, rf, tc, rc, bf, sums, rightWidth * middleHeight, sw, sh);

            // Only a destination larger than the source can have a cell below 1/128 pixel.
            const std::int64_t divisor = ((r - l) * cellHeight) >> subPixelShift;
            for (int channel = 0; channel < 3; ++channel) {
                std::int64_t value = 0;
                if (divisor > 0 && sums[channel] > 0) {
                    value = static_cast<std::int64_t>(
                        divideUnsigned(static_cast<std::uint64_t>(sums[channel]),
                                       static_cast<std::uint64_t>(divisor)));
                }
                out[channel] = static_cast<std::uint8_t>(value > 255 ? 255 : value);
            }
            l = r;
        }
    }
}

}  // namespace

std::int32_t reduceImage(RgbImage* dest, std::int32_t width, std::int32_t height,
                         const RgbImage* source) {
    if (source->status != 0) {
        dest->status = statusReduceBadSource;
        return statusReduceBadSource;
    }
    if (rgbImageAlloc(dest, width, height) != 0) {
        dest->status |= statusReduceAllocFailed;
        return statusReduceAllocFailed;
    }
    if (width == 0 || height == 0) return 0;

    // In scan order the first pixel with an edge beyond 32 bits is (0, rowLimit) when every
    // column fits, and otherwise (columnLimit, 0): only part of row 0 is written then.
    const std::int32_t columnLimit = edgeLimit(width, source->width);
    const std::int32_t rowLimit = edgeLimit(height, source->height);
    if (rowLimit == 0) return 1;
    if (columnLimit < width) {
        reducePixels(dest, source, 1, columnLimit);
        return 1;
    }
    reducePixels(dest, source, rowLimit, width);
    return rowLimit < height ? 1 : 0;
}

void accumulateRegion(const RgbImage* source, std::int32_t left, std::int32_t top,
                      std::int32_t right, std::int32_t bottom, std::int64_t* redSum,
                      std::int64_t* greenSum, std::int64_t* blueSum, std::int64_t weight,
                      std::int32_t sourceWidth, std::int32_t sourceHeight) {
    std::int64_t sums[3] = {*redSum, *greenSum, *blueSum};
    accumulate(source->rows, left, top, right, bottom, sums, weight, sourceWidth, sourceHeight);
    *redSum = sums[0];
    *greenSum = sums[1];
    *blueSum = sums[2];
}

std::int32_t reduceEdgesOverflow(std::int32_t width, std::int32_t height,
                                 std::int32_t sourceWidth, std::int32_t sourceHeight) {
    if (width < 1 || height < 1) return 0;
    if (edgeLimit(width, sourceWidth) < width) return 1;
    if (edgeLimit(height, sourceHeight) < height) return 1;
    return 0;
}
