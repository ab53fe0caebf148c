// Integer-factor bilinear enlargement.
//
// Result pixel (column (j - 1) * fx + l, row (i - 1) * fy + k) of the cell between source
// columns j - 1, j and rows i - 1, i is, truncated,
//   ((fy - k) * ((fx - l) * P(j-1, i-1) + l * P(j, i-1))
//    + k * ((fx - l) * P(j-1, i) + l * P(j, i))) / (fx * fy).
// Written as (fx - l) * V(j-1) + l * V(j) with V(c) = (fy - k) * P(c, i-1) + k * P(c, i), the
// numerator of a result row grows by V(j) - V(j-1) from one column to the next, so each row
// costs one addition and one division per channel and pixel. Rows and columns shared by two
// cells are written once; every formula that reaches them gives the same value. On a source
// axis of 1 pixel the factor counts as 1 and that pixel is repeated to the requested size: the
// formula then blends along the other axis only.
#include "resample/enlarge.h"

#include <cstddef>
#include <cstring>
#include <limits>

namespace {

// The enlargement made one result row at a time: the source, the factors (1 on a repeated
// 1-pixel axis), the result size, and the divisor fx * fy with its multiplier for quick
// division (0 when it is divided plainly).
struct EnlargeRows {
    const RgbImage* source;
    std::int32_t factorX;
    std::int32_t factorY;
    std::int32_t width;
    std::int32_t height;
    std::uint64_t divisor;
    std::uint64_t magic;
};

constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();

__extension__ using Uint128 = unsigned __int128;

// One axis of the result: its factor (1 on a repeated 1-pixel axis) and its size.
struct AxisPlan {
    std::int32_t factor;
    std::int32_t size;
};

// False when the result size leaves the signed 32-bit range.
bool planAxis(std::int32_t requested, std::int32_t sourceSize, AxisPlan* plan) {
    if (sourceSize == 1) {
        plan->factor = 1;
        plan->size = requested < 1 ? 1 : requested;
        return true;
    }
    std::int64_t factor = (std::int64_t{requested} + sourceSize - 3) / (sourceSize - 1);
    if (factor < 1) factor = 1;
    const std::int64_t size = factor * (sourceSize - 1) + 1;
    if (size > int32Max) return false;
    plan->factor = static_cast<std::int32_t>(factor);
    plan->size = static_cast<std::int32_t>(size);
    return true;
}

// True when rgbImageAlloc would size a block for width x height within its limit.
bool blockWithinLimit(std::int32_t width, std::int32_t height) {
    RgbImageLayout layout{};
    return rgbImageLayout(width, height, rowAlignment, &layout);
}

// Quotients by fx * fy. With a divisor of 1 the numerator is the value.
struct KeepQuotient {
    std::uint32_t operator()(std::uint32_t numerator) const { return numerator; }
};

// Numerators below 2^32 and a divisor from 2 to 2^32 - 1: one multiplication by
// ceil(2^64 / divisor), keeping the high 64 bits, gives the exact truncated quotient.
struct MagicQuotient {
    std::uint64_t magic;
    std::uint32_t operator()(std::uint32_t numerator) const {
        return static_cast<std::uint32_t>((Uint128{magic} * numerator) >> 64);
    }
};

// Any numerator and divisor in 64 bits.
struct PlainQuotient {
    std::uint64_t divisor;
    std::uint64_t operator()(std::uint64_t numerator) const { return numerator / divisor; }
};

// Fills `count` pixels (at least 1) with `pixel`, doubling the part already written.
void repeatPixel(std::uint8_t* out, const std::uint8_t* pixel, std::int32_t count) {
    std::memcpy(out, pixel, 3);
    const std::size_t total = 3 * static_cast<std::size_t>(count);
    std::size_t done = 3;
    while (done < total) {
        const std::size_t chunk = done < total - done ? done : total - done;
        std::memcpy(out + done, out, chunk);
        done += chunk;
    }
}

// One result row from the source rows `top` and `bottom` weighted topWeight and bottomWeight
// (their sum is fy). Value is wide enough for every numerator; unsigned wrap-around of the
// running numerator is harmless because its true value always lies in range.
template <typename Value, typename Divide>
void fillRow(std::uint8_t* out, const std::uint8_t* top, const std::uint8_t* bottom,
             Value topWeight, Value bottomWeight, std::int32_t sourceWidth, std::int32_t factorX,
             std::int32_t outWidth, Divide divide) {
    Value left[3];
    for (int channel = 0; channel < 3; ++channel) {
        left[channel] = topWeight * top[channel] + bottomWeight * bottom[channel];
    }
    const Value fx = static_cast<Value>(factorX);
    if (sourceWidth == 1) {
        const std::uint8_t pixel[3] = {static_cast<std::uint8_t>(divide(left[0])),
                                       static_cast<std::uint8_t>(divide(left[1])),
                                       static_cast<std::uint8_t>(divide(left[2]))};
        repeatPixel(out, pixel, outWidth);
        return;
    }
    for (std::int32_t j = 1; j < sourceWidth; ++j) {
        top += 3;
        bottom += 3;
        Value numerator[3];
        Value step[3];
        for (int channel = 0; channel < 3; ++channel) {
            const Value right = topWeight * top[channel] + bottomWeight * bottom[channel];
            numerator[channel] = fx * left[channel];
            step[channel] = right - left[channel];
            left[channel] = right;
        }
        for (std::int32_t l = 0; l < factorX; ++l, out += 3) {
            out[0] = static_cast<std::uint8_t>(divide(numerator[0]));
            out[1] = static_cast<std::uint8_t>(divide(numerator[1]));
            out[2] = static_cast<std::uint8_t>(divide(numerator[2]));
            numerator[0] += step[0];
            numerator[1] += step[1];
            numerator[2] += step[2];
        }
    }
    out[0] = static_cast<std::uint8_t>(divide(fx * left[0]));
    out[1] = static_cast<std::uint8_t>(divide(fx * left[1]));
    out[2] = static_cast<std::uint8_t>(divide(fx * left[2]));
}

// Result row y from the prepared factors, with the quotient that suits the divisor.
template <typename Value, typename Divide>
void makeRow(const EnlargeRows* plan, std::int32_t y, std::uint8_t* out, Divide divide) {
    const RgbImage* source = plan->source;
    if (source->height == 1) {
        // Every result row blends the single source row with itself.
        fillRow<Value>(out, source->rows[0], source->rows[0], Value{1}, Value{0}, source->width,
                       plan->factorX, plan->width, divide);
        return;
    }
    // Row y lies in the cell between source rows i - 1 and i, k rows down; the last result row
    // is the bottom edge of the last cell.
    std::int32_t i = y / plan->factorY + 1;
    std::int32_t k = y % plan->factorY;
    if (i == source->height) {
        i = source->height - 1;
        k = plan->factorY;
    }
    const auto fy = static_cast<Value>(plan->factorY);
    const auto down = static_cast<Value>(k);
    fillRow<Value>(out, source->rows[i - 1], source->rows[i], fy - down, down, source->width,
                   plan->factorX, plan->width, divide);
}

}  // namespace

std::int32_t enlargedSize(std::int32_t width, std::int32_t height, std::int32_t sourceWidth,
                          std::int32_t sourceHeight, std::int32_t* resultWidth,
                          std::int32_t* resultHeight) {
    AxisPlan across{};
    AxisPlan down{};
    if (!planAxis(width, sourceWidth, &across)) return 1;
    if (!planAxis(height, sourceHeight, &down)) return 1;
    if (!blockWithinLimit(across.size, down.size)) return 1;
    *resultWidth = across.size;
    *resultHeight = down.size;
    return 0;
}

namespace {

// Prepares `plan` for enlarging `source` to at least width x height (sizes as enlargedSize
// gives). Results: 0x40000 bad or empty source, 0x80000 a result too large to allocate; 0 ready.
std::int32_t enlargeRowsBegin(EnlargeRows* plan, std::int32_t width, std::int32_t height,
                              const RgbImage* source) {
    if (source->status != 0 || source->width < 1 || source->height < 1) {
        return statusEnlargeBadSource;
    }
    AxisPlan across{};
    AxisPlan down{};
    if (!planAxis(width, source->width, &across) || !planAxis(height, source->height, &down) ||
        !blockWithinLimit(across.size, down.size)) {
        return statusEnlargeAllocFailed;
    }
    plan->source = source;
    plan->factorX = across.factor;
    plan->factorY = down.factor;
    plan->width = across.size;
    plan->height = down.size;
    // The result's block holds at most rgbImageMaxBytes, so fx * fy stays far below 2^64 / 255.
    plan->divisor =
        static_cast<std::uint64_t>(across.factor) * static_cast<std::uint64_t>(down.factor);
    constexpr std::uint64_t narrowLimit = std::numeric_limits<std::uint32_t>::max() / 255;
    plan->magic = plan->divisor >= 2 && plan->divisor <= narrowLimit
                      ? std::numeric_limits<std::uint64_t>::max() / plan->divisor + 1
                      : 0;
    return 0;
}

void enlargeRow(const EnlargeRows* plan, std::int32_t y, std::uint8_t* out) {
    if (plan->divisor == 1) {
        makeRow<std::uint32_t>(plan, y, out, KeepQuotient{});
    } else if (plan->magic != 0) {
        makeRow<std::uint32_t>(plan, y, out, MagicQuotient{plan->magic});
    } else {
        makeRow<std::uint64_t>(plan, y, out, PlainQuotient{plan->divisor});
    }
}

}  // namespace

std::int32_t enlargeImage(RgbImage* dest, std::int32_t width, std::int32_t height,
                          const RgbImage* source) {
    EnlargeRows plan{};
    const std::int32_t planned = enlargeRowsBegin(&plan, width, height, source);
    if (planned == statusEnlargeBadSource) {
        dest->status = statusEnlargeBadSource;
        return statusEnlargeBadSource;
    }
    if (planned != 0) {
        dest->rows = nullptr;
        dest->status = statusAllocRefused | statusEnlargeAllocFailed;
        return statusEnlargeAllocFailed;
    }
    if (rgbImageAlloc(dest, plan.width, plan.height) != 0) {
        dest->status |= statusEnlargeAllocFailed;
        return statusEnlargeAllocFailed;
    }
    if (source->height == 1) {
        // All rows are alike: make one, copy it.
        enlargeRow(&plan, 0, dest->rows[0]);
        const std::size_t rowBytes = 3 * static_cast<std::size_t>(plan.width);
        for (std::int32_t y = 1; y < plan.height; ++y) {
            std::memcpy(dest->rows[y], dest->rows[0], rowBytes);
        }
        return 0;
    }
    for (std::int32_t y = 0; y < plan.height; ++y)
        enlargeRow(&plan, y, dest->rows[y]);
    return 0;
}
