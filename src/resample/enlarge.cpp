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
//
// The result is made row by row (EnlargeRows) from the two source rows it blends, read from the
// pixel source once each while the rows are asked for from the top down.
#include "resample/enlarge.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "util/checked.h"

namespace {

constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();

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

// The enlargement's size rule: both axes planned, and a raster of the result within the limit.
bool planEnlargement(std::int32_t width, std::int32_t height, std::int32_t sourceWidth,
                     std::int32_t sourceHeight, AxisPlan* across, AxisPlan* down) {
    return planAxis(width, sourceWidth, across) && planAxis(height, sourceHeight, down) &&
           blockWithinLimit(across->size, down->size);
}

// Quotients by fx * fy. With a divisor of 1 the numerator is the value.
struct KeepQuotient {
    std::uint32_t operator()(std::uint32_t numerator) const { return numerator; }
};

// Numerators below 2^32 and a divisor from 2 to 2^32 / 255: by the divisor's multiplier.
struct MagicQuotient {
    Reciprocal reciprocal;
    std::uint32_t operator()(std::uint32_t numerator) const {
        return divideNarrow(reciprocal, numerator);
    }
};

// Any numerator and divisor in 64 bits.
struct PlainQuotient {
    std::uint64_t divisor;
    std::uint64_t operator()(std::uint64_t numerator) const { return numerator / divisor; }
};

// Where a result row goes: 3 bytes a pixel, or one packed word a pixel.
struct ByteRow {
    std::uint8_t* out;
    void put(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
        out[0] = static_cast<std::uint8_t>(red);
        out[1] = static_cast<std::uint8_t>(green);
        out[2] = static_cast<std::uint8_t>(blue);
        out += 3;
    }
};

struct PackedRow {
    std::uint64_t* out;
    void put(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
        *out++ = packColour(red, green, blue);
    }
};

// One result row from the source rows `top` and `bottom` weighted topWeight and bottomWeight
// (their sum is fy). Value is wide enough for every numerator; unsigned wrap-around of the
// running numerator is harmless because its true value always lies in range.
template <typename Value, typename Divide, typename Row>
void fillRow(Row out, const std::uint8_t* top, const std::uint8_t* bottom, Value topWeight,
             Value bottomWeight, std::int32_t sourceWidth, std::int32_t factorX,
             std::int32_t outWidth, Divide divide) {
    Value left[3];
    for (int channel = 0; channel < 3; ++channel) {
        left[channel] = topWeight * top[channel] + bottomWeight * bottom[channel];
    }
    const Value fx = static_cast<Value>(factorX);
    const auto quotient = [&divide](Value numerator) {
        return static_cast<std::uint32_t>(divide(numerator));
    };
    if (sourceWidth == 1) {
        // The one source column repeated across the row.
        for (std::int32_t x = 0; x < outWidth; ++x)
            out.put(quotient(left[0]), quotient(left[1]), quotient(left[2]));
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
        for (std::int32_t l = 0; l < factorX; ++l) {
            out.put(quotient(numerator[0]), quotient(numerator[1]), quotient(numerator[2]));
            numerator[0] += step[0];
            numerator[1] += step[1];
            numerator[2] += step[2];
        }
    }
    out.put(quotient(fx * left[0]), quotient(fx * left[1]), quotient(fx * left[2]));
}

// Source row y, read once while the rows are asked for from the top down: kept in the slot
// that does not hold `other`, the other row of the same result row.
const std::uint8_t* sourceRow(EnlargeRows* rows, std::int32_t y, std::int32_t other) {
    for (int slot = 0; slot < 2; ++slot) {
        if (rows->rowIndex[slot] == y) return rows->row[slot];
    }
    const int slot = rows->rowIndex[0] == other ? 1 : 0;
    rows->rowIndex[slot] = y;
    rows->row[slot] = pixelSourceRow(&rows->source, y, rows->buffer[slot]);
    return rows->row[slot];
}

// Result row y from the prepared factors, with the quotient that suits the divisor.
template <typename Value, typename Divide, typename Row>
void makeRow(EnlargeRows* rows, std::int32_t y, Row out, Divide divide) {
    const std::int32_t sourceWidth = rows->source.width;
    const std::int32_t sourceHeight = rows->source.height;
    if (sourceHeight == 1) {
        // Every result row blends the single source row with itself.
        const std::uint8_t* only = sourceRow(rows, 0, 0);
        fillRow<Value>(out, only, only, Value{1}, Value{0}, sourceWidth, rows->factorX, rows->width,
                       divide);
        return;
    }
    // Row y lies in the cell between source rows i - 1 and i, k rows down; the last result row
    // is the bottom edge of the last cell.
    std::int32_t i = y / rows->factorY + 1;
    std::int32_t k = y % rows->factorY;
    if (i == sourceHeight) {
        i = sourceHeight - 1;
        k = rows->factorY;
    }
    const auto fy = static_cast<Value>(rows->factorY);
    const auto down = static_cast<Value>(k);
    const std::uint8_t* top = sourceRow(rows, i - 1, i);
    const std::uint8_t* bottom = sourceRow(rows, i, i - 1);
    fillRow<Value>(out, top, bottom, fy - down, down, sourceWidth, rows->factorX, rows->width,
                   divide);
}

}  // namespace

std::int32_t enlargedSize(std::int32_t width, std::int32_t height, std::int32_t sourceWidth,
                          std::int32_t sourceHeight, std::int32_t* resultWidth,
                          std::int32_t* resultHeight) {
    AxisPlan across{};
    AxisPlan down{};
    if (!planEnlargement(width, height, sourceWidth, sourceHeight, &across, &down)) return 1;
    *resultWidth = across.size;
    *resultHeight = down.size;
    return 0;
}

std::int32_t enlargeRowsBegin(EnlargeRows* rows, std::int32_t width, std::int32_t height,
                              const PixelSource* source) {
    if (source->width < 1 || source->height < 1) return statusEnlargeBadSource;
    AxisPlan across{};
    AxisPlan down{};
    if (!planEnlargement(width, height, source->width, source->height, &across, &down))
        return statusEnlargeAllocFailed;
    *rows = {*source,
             across.factor,
             down.factor,
             across.size,
             down.size,
             // The result's block holds at most rgbImageMaxBytes, so fx * fy stays far below
             // 2^64 / 255.
             reciprocalOf(static_cast<std::uint64_t>(across.factor) *
                          static_cast<std::uint64_t>(down.factor)),
             {-1, -1},
             {nullptr, nullptr},
             {nullptr, nullptr}};
    if (source->imageRows == nullptr) {
        std::size_t rowBytes = 0;
        std::size_t bytes = 0;
        if (mulOverflows(static_cast<std::size_t>(source->width), 3, &rowBytes) ||
            mulOverflows(rowBytes, 2, &bytes)) {
            return statusEnlargeAllocFailed;
        }
        auto* block = static_cast<std::uint8_t*>(std::malloc(bytes));
        if (block == nullptr) return statusEnlargeAllocFailed;
        rows->buffer[0] = block;
        rows->buffer[1] = block + rowBytes;
    }
    return 0;
}

namespace {

// Result row y with the quotient that suits the divisor.
template <typename Row>
void enlargeInto(EnlargeRows* rows, std::int32_t y, Row out) {
    // Every numerator is at most 255 * fx * fy: below 2^32 up to this divisor.
    constexpr std::uint64_t narrowLimit = std::numeric_limits<std::uint32_t>::max() / 255;
    const Reciprocal& divisor = rows->divisor;
    if (divisor.divisor == 1) {
        makeRow<std::uint32_t>(rows, y, out, KeepQuotient{});
    } else if (divisor.magic != 0 && divisor.divisor <= narrowLimit) {
        makeRow<std::uint32_t>(rows, y, out, MagicQuotient{divisor});
    } else {
        makeRow<std::uint64_t>(rows, y, out, PlainQuotient{divisor.divisor});
    }
}

}  // namespace

void enlargeRow(EnlargeRows* rows, std::int32_t y, std::uint8_t* out) {
    enlargeInto(rows, y, ByteRow{out});
}

void enlargeRowPacked(EnlargeRows* rows, std::int32_t y, std::uint64_t* out) {
    enlargeInto(rows, y, PackedRow{out});
}

void enlargeRowsEnd(EnlargeRows* rows) {
    std::free(rows->buffer[0]);
    rows->buffer[0] = rows->buffer[1] = nullptr;
}

std::int32_t enlargeImage(RgbImage* dest, std::int32_t width, std::int32_t height,
                          const RgbImage* source) {
    if (source->status != 0) {
        dest->status = statusEnlargeBadSource;
        return statusEnlargeBadSource;
    }
    const PixelSource pixels = pixelSourceOfImage(source);
    EnlargeRows rows{};
    const std::int32_t planned = enlargeRowsBegin(&rows, width, height, &pixels);
    if (planned == statusEnlargeBadSource) {
        dest->status = statusEnlargeBadSource;
        return statusEnlargeBadSource;
    }
    if (planned != 0) {
        dest->rows = nullptr;
        dest->status = statusAllocRefused | statusEnlargeAllocFailed;
        return statusEnlargeAllocFailed;
    }
    if (rgbImageAlloc(dest, rows.width, rows.height) != 0) {
        dest->status |= statusEnlargeAllocFailed;
        return statusEnlargeAllocFailed;
    }
    for (std::int32_t y = 0; y < rows.height; ++y)
        enlargeRow(&rows, y, dest->rows[y]);
    enlargeRowsEnd(&rows);
    return 0;
}
