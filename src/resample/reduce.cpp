// Area-averaging reduction on a grid of 1/128 source pixel.
//
// Destination pixel (x, y) covers the source rectangle from L = x * sw * 128 / dw to
// R = (x + 1) * sw * 128 / dw across and from T = y * sh * 128 / dh to B = (y + 1) * sh * 128 / dh
// down, in 1/128 pixel. Each side is cut into three bands: the partial pixel at its near edge,
// the whole pixels between, and the partial pixel at its far edge. The nine regions that the
// bands form each add their truncated mean colour times their area (>> 7), and the total is
// divided by the rectangle's area (>> 7). Pixels are produced in scan order until an edge
// product would pass 2,147,483,647.
//
// The source is read from the top down, each row once (a row shared by two cells is kept): the
// rows of an image as they are; the rows of a palette picture or of an enlargement made into one
// of three row buffers as they are needed. A cell's middle rows are added into column totals.
#include "resample/reduce.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "mono/dither.h"
#include "util/checked.h"
#include "util/reciprocal.h"

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

// Three channel values or sums: red, green, blue. Sums are unsigned so that no weight, however
// large, can make an addition undefined.
struct Colour {
    std::uint64_t red;
    std::uint64_t green;
    std::uint64_t blue;
};

// Truncated mean colour of the source pixels in the columns [left, right) of the rows
// [top, bottom), a range that is not empty and lies inside the source. A single row is read
// through `row`; several rows through `totals` (every column's three totals over exactly those
// rows) when not null, otherwise through `rows`.
inline Colour regionMean(std::uint8_t* const* rows, const std::uint8_t* row,
                         const std::uint32_t* totals, std::int32_t left, std::int32_t top,
                         std::int32_t right, std::int32_t bottom) {
    const std::size_t first = 3 * static_cast<std::size_t>(left);
    const std::size_t end = 3 * static_cast<std::size_t>(right);
    Colour total{0, 0, 0};
    if (bottom - top == 1) {
        if (right - left == 1) return {row[first], row[first + 1], row[first + 2]};
        for (std::size_t at = first; at < end; at += 3) {
            total.red += row[at];
            total.green += row[at + 1];
            total.blue += row[at + 2];
        }
    } else if (totals != nullptr) {
        for (std::size_t at = first; at < end; at += 3) {
            total.red += totals[at];
            total.green += totals[at + 1];
            total.blue += totals[at + 2];
        }
    } else {
        for (std::int32_t y = top; y < bottom; ++y) {
            const std::uint8_t* pixels = rows[y];
            for (std::size_t at = first; at < end; at += 3) {
                total.red += pixels[at];
                total.green += pixels[at + 1];
                total.blue += pixels[at + 2];
            }
        }
    }
    const std::uint64_t count =
        static_cast<std::uint64_t>(right - left) * static_cast<std::uint64_t>(bottom - top);
    return {divideUnsigned(total.red, count), divideUnsigned(total.green, count),
            divideUnsigned(total.blue, count)};
}

// One band of a cell side: the whole source pixels [first, end) it reads once limited to the
// source (empty when end <= first), and its width in 1/128 pixel.
struct Band {
    std::int32_t first;
    std::int32_t end;
    std::int64_t width;
};

// A cell side from `low` to `high` (sub-pixels, high exclusive) over a source side of `size`
// pixels: the near partial band from low to the next pixel boundary, the whole pixels up to the
// boundary below high, the far partial band from there to high.
struct Side {
    Band bands[3];
    std::int64_t span;
};

inline Side planSide(std::int32_t low, std::int32_t high, std::int32_t size) {
    const std::int32_t lowFloor = low & wholeMask;
    const std::int32_t lowCeiling = lowFloor + subPixel;
    const std::int32_t highFloor = high & wholeMask;
    Side side{};
    const std::int32_t nearPixel = low >> subPixelShift;
    const std::int32_t middleEnd = highFloor >> subPixelShift;
    const std::int32_t farPixel = high >> subPixelShift;
    side.bands[0] = {nearPixel, nearPixel < size ? nearPixel + 1 : nearPixel, lowCeiling - low};
    side.bands[1] = {lowCeiling >> subPixelShift, middleEnd < size ? middleEnd : size,
                     std::int64_t{highFloor} - lowCeiling};
    side.bands[2] = {farPixel, farPixel < size ? farPixel + 1 : farPixel, high - highFloor};
    side.span = high - low;
    return side;
}

// Destination pixels along an axis whose far edge (index + 1) * sourceSize * 128 stays within
// the signed 32-bit range (the near edge is smaller), at most `count`.
std::int32_t edgeLimit(std::int32_t count, std::int32_t sourceSize) {
    const std::int64_t span = std::int64_t{sourceSize} * subPixel;
    if (span <= 0) return count;
    const std::int64_t limit = int32Max / span;
    return limit < count ? static_cast<std::int32_t>(limit) : count;
}

// The source rows of one destination row: its row side, the row of each band that holds a
// single row (null otherwise), the column totals over the middle band when it holds several
// (or null), and the source's rows for reading several rows directly (null when it streams).
struct RowBands {
    Side side;
    const std::uint8_t* row[3];
    const std::uint32_t* middleTotals;
    std::uint8_t* const* rows;
};

// A packed row's cells are at most 256 sub-pixels wide and 384 high: their weights add up to at
// most 256 * 384 >> 7 = 768, so a lane's sum (packColour) stays below 255 * 768 < 2^21.
constexpr std::uint64_t laneMask = (std::uint64_t{1} << pixelLaneBits) - 1;

// True when every cell of a reduction of `size` input pixels to `count` (at least 1) is at most
// two pixels (256 sub-pixels) across, and so has at most one whole pixel between its edges.
bool cellsOfTwoPixels(std::int32_t count, std::int32_t size) {
    const std::int64_t span = std::int64_t{size} * subPixel;
    return span / count + (span % count != 0 ? 1 : 0) <= 2 * subPixel;
}

// A cell of at most two pixels across, planned once for every row: the input column of each band
// (a band that reads no pixel reads the first with a width of 0) and its width in sub-pixels.
struct PackedCell {
    std::uint32_t column[3];
    std::uint8_t width[3];
    std::uint8_t wide;  // 1 for a cell stepX + 1 sub-pixels wide
};

// One destination row of packed cells from the packed rows of its three row bands (a band that
// reads no row reads another with a width of 0): each region adds its pixel times its weight, the
// three channels in their lanes, and the sum is divided by the cell's area (>> 7; 0: black).
void reducePackedRow(const PackedCell* cells, std::int32_t count,
                     const std::uint64_t* const rows[3], const std::int64_t rowWidths[3],
                     const std::int64_t areas[2], const Reciprocal divisors[2], std::uint8_t* out) {
    // The weight of every column width (0 to 128) in each row band.
    std::uint32_t weights[3][subPixel + 1];
    for (int rowBand = 0; rowBand < 3; ++rowBand) {
        for (std::int32_t width = 0; width <= subPixel; ++width) {
            weights[rowBand][width] =
                static_cast<std::uint32_t>((width * rowWidths[rowBand]) >> subPixelShift);
        }
    }
    for (std::int32_t x = 0; x < count; ++x, out += 3) {
        const PackedCell& cell = cells[x];
        std::uint64_t lanes = 0;
        for (int rowBand = 0; rowBand < 3; ++rowBand) {
            for (int band = 0; band < 3; ++band) {
                lanes += rows[rowBand][cell.column[band]] * weights[rowBand][cell.width[band]];
            }
        }
        if (areas[cell.wide] == 0) {
            out[0] = out[1] = out[2] = 0;
            continue;
        }
        const Reciprocal& area = divisors[cell.wide];
        // At most 255 * 768 in a lane, and so in each quotient, which needs no clamping.
        out[0] = static_cast<std::uint8_t>(divideBy(area, lanes & laneMask));
        out[1] = static_cast<std::uint8_t>(divideBy(area, (lanes >> pixelLaneBits) & laneMask));
        out[2] = static_cast<std::uint8_t>(divideBy(area, lanes >> (2 * pixelLaneBits)));
    }
}

// One destination pixel from its column side and its row's bands; `area` is the cell's area
// >> 7, at least 1.
inline void reducePixel(const Side& across, const RowBands& down, const Reciprocal& area,
                        std::uint8_t* out) {
    Colour sum{0, 0, 0};
    const Band* columnBands = across.bands;
    const Band* rowBands = down.side.bands;
    {
        for (int rowBand = 0; rowBand < 3; ++rowBand) {
            const Band& vertical = rowBands[rowBand];
            if (vertical.end <= vertical.first || vertical.width == 0) continue;
            const std::uint32_t* totals = rowBand == 1 ? down.middleTotals : nullptr;
            for (int columnBand = 0; columnBand < 3; ++columnBand) {
                const Band& horizontal = columnBands[columnBand];
                if (horizontal.end <= horizontal.first) continue;
                // The widths of a band that reads a pixel are never negative. A weight that
                // shifts down to 0 adds the mean times 0: the region is not read at all.
                const auto weight = static_cast<std::uint64_t>(
                    (horizontal.width * vertical.width) >> subPixelShift);
                if (weight == 0) continue;
                const Colour mean =
                    regionMean(down.rows, down.row[rowBand], totals, horizontal.first,
                               vertical.first, horizontal.end, vertical.end);
                sum.red += mean.red * weight;
                sum.green += mean.green * weight;
                sum.blue += mean.blue * weight;
            }
        }
    }
    const std::uint64_t red = divideBy(area, sum.red);
    const std::uint64_t green = divideBy(area, sum.green);
    const std::uint64_t blue = divideBy(area, sum.blue);
    out[0] = static_cast<std::uint8_t>(red > 255 ? 255 : red);
    out[1] = static_cast<std::uint8_t>(green > 255 ? 255 : green);
    out[2] = static_cast<std::uint8_t>(blue > 255 ? 255 : blue);
}

// The input's rows as the reduction reads them, from the top down: the image's own rows, or rows
// made in one of three buffers (3 * width bytes each): 0 for a cell's near row, 1 for its middle
// rows, 2 for its far row, which the next cell's near row may be. Each slot may also hold its row
// packed (width words, when `packed` is not null).
struct InputRows {
    const ReduceInput* input;
    std::uint8_t* const* direct;  // the rows of an image read as it is, or null
    std::int32_t width;
    std::uint8_t* buffer[3];
    std::uint64_t* packed[3];
    std::int32_t farIndex;  // the row in slot 2 (-1: none)
    const std::uint8_t* farRow;
    bool farPacked;
};

const std::uint8_t* inputRow(InputRows* rows, std::int32_t y, int slot) {
    if (rows->direct != nullptr) return rows->direct[y];
    if (rows->input->enlarged != nullptr) {
        enlargeRow(rows->input->enlarged, y, rows->buffer[slot]);
        return rows->buffer[slot];
    }
    return pixelSourceRow(rows->input->source, y, rows->buffer[slot]);
}

// Row y into `slot`: its colours, or with `pack` its packed colours only (in the slot's packed
// row; the pointer returned then only marks the row as read). A near row that is the previous
// cell's far row, read alike, is taken over from slot 2.
const std::uint8_t* fetchRow(InputRows* rows, std::int32_t y, int slot, bool pack) {
    if (slot == 0 && y == rows->farIndex && pack == rows->farPacked) {
        std::uint8_t* const buffer = rows->buffer[2];
        rows->buffer[2] = rows->buffer[0];
        rows->buffer[0] = buffer;
        std::uint64_t* const packed = rows->packed[2];
        rows->packed[2] = rows->packed[0];
        rows->packed[0] = packed;
        return rows->farRow;
    }
    const std::uint8_t* row = nullptr;
    if (!pack) {
        row = inputRow(rows, y, slot);
    } else if (rows->input->enlarged != nullptr) {
        enlargeRowPacked(rows->input->enlarged, y, rows->packed[slot]);
        row = reinterpret_cast<const std::uint8_t*>(rows->packed[slot]);
    } else {
        pixelSourcePackedRow(rows->input->source, y, rows->packed[slot]);
        row = reinterpret_cast<const std::uint8_t*>(rows->packed[slot]);
    }
    if (slot == 2) {
        rows->farIndex = y;
        rows->farRow = row;
        rows->farPacked = pack;
    }
    return row;
}

// Column totals of the input rows [top, bottom) into `totals` (3 entries per input column).
// At most 2^24 rows of 255 here (the row edges fit 32 bits), so they stay below 2^32. The
// fixed-length inner loop lets the compiler add 16 bytes at a time.
void sumColumns(InputRows* rows, std::int32_t top, std::int32_t bottom, std::int32_t inputWidth,
                std::uint32_t* __restrict totals) {
    constexpr std::size_t block = 16;
    const std::size_t count = 3 * static_cast<std::size_t>(inputWidth);
    std::memset(totals, 0, count * sizeof(std::uint32_t));
    for (std::int32_t y = top; y < bottom; ++y) {
        const std::uint8_t* __restrict row = inputRow(rows, y, 1);
        std::size_t at = 0;
        for (; at + block <= count; at += block) {
            for (std::size_t k = 0; k < block; ++k)
                totals[at + k] += row[at + k];
        }
        for (; at < count; ++at)
            totals[at] += row[at];
    }
}

// Where the reduced rows go: an image's rows, or through `colours` (3 * width bytes) into a grey
// picture, whose greys are summed.
struct Output {
    RgbImage* image;
    GreyPicture* grey;
    std::uint8_t* colours;
};

std::uint8_t* outputRow(const Output* output, std::int32_t y) {
    return output->image != nullptr ? output->image->rows[y] : output->colours;
}

void outputRowDone(Output* output, std::int32_t y, std::int32_t count) {
    if (output->grey == nullptr) return;
    std::uint8_t* greys =
        output->grey->pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(count);
    const std::uint8_t* colour = output->colours;
    std::uint64_t sum = 0;
    for (std::int32_t x = 0; x < count; ++x, colour += 3) {
        greys[x] = ditherGrey(colour[0], colour[1], colour[2]);
        sum += greys[x];
    }
    output->grey->greySum += sum;
}

// Writes destination rows [0, rowCount) and in each the columns [0, columnCount) of a dw x dh
// picture, all of whose edges fit 32 bits, from an input of sw x sh pixels. `scratch` (3 * sw
// entries, or null when it was refused for an image read directly) receives for each destination
// row the column totals over its middle band of input rows, which is then read row by row once
// instead of column by column for every destination pixel.
void reducePixels(Output* output, InputRows* rows, std::int32_t dw, std::int32_t dh,
                  std::int32_t sw, std::int32_t sh, std::int32_t rowCount, std::int32_t columnCount,
                  std::uint32_t* scratch, PackedCell* cells) {
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(columnCount);

    if (sw < 1 || sh < 1) {
        // No region reads a pixel and every cell has the area 0: black.
        for (std::int32_t y = 0; y < rowCount; ++y) {
            std::memset(outputRow(output, y), 0, rowBytes);
            outputRowDone(output, y, columnCount);
        }
        return;
    }
    if (sw == dw && sh == dh) {
        // Every cell is exactly one input pixel: its near bands alone, weight 128 * 128 >> 7
        // over an area of 128, give the pixel back unchanged.
        for (std::int32_t y = 0; y < rowCount; ++y) {
            std::memcpy(outputRow(output, y), inputRow(rows, y, 0), rowBytes);
            outputRowDone(output, y, columnCount);
        }
        return;
    }

    // Column edges step by sw * 128 / dw with the remainder carried: the same values as
    // x * sw * 128 / dw without a division per pixel.
    const std::int64_t spanX = std::int64_t{sw} * subPixel;
    const std::int64_t stepX = spanX / dw;
    const std::int64_t carryX = spanX % dw;
    const std::int64_t spanY = std::int64_t{sh} * subPixel;
    // Cells of at most two pixels across are planned once, for the rows that can pack theirs.
    for (std::int32_t x = 0, l = 0, remainder = 0; cells != nullptr && x < columnCount; ++x) {
        auto r = static_cast<std::int32_t>(l + stepX);
        remainder += static_cast<std::int32_t>(carryX);
        if (remainder >= dw) {
            remainder -= dw;
            ++r;
        }
        const Side across = planSide(l, r, sw);
        PackedCell& cell = cells[x];
        cell.wide = r - l > stepX ? 1 : 0;
        for (int band = 0; band < 3; ++band) {
            const bool used = across.bands[band].end > across.bands[band].first;
            cell.column[band] = used ? static_cast<std::uint32_t>(across.bands[band].first) : 0;
            cell.width[band] = static_cast<std::uint8_t>(used ? across.bands[band].width : 0);
        }
        l = r;
    }

    for (std::int32_t y = 0; y < rowCount; ++y) {
        RowBands down{};
        down.side = planSide(static_cast<std::int32_t>(y * spanY / dh),
                             static_cast<std::int32_t>((y + 1) * spanY / dh), sh);
        down.rows = rows->direct;
        // The bands in row order; a far band of width 0 (an edge on a row boundary) adds
        // nothing and is not read. A row whose cells are all single pixels or empty reads
        // packed rows.
        const Band* bands = down.side.bands;
        const std::int32_t middleRows = bands[1].end - bands[1].first;
        const bool pack = cells != nullptr && middleRows <= 1;
        if (bands[0].end - bands[0].first == 1)
            down.row[0] = fetchRow(rows, bands[0].first, 0, pack);
        rows->farIndex = -1;
        if (middleRows == 1) down.row[1] = fetchRow(rows, bands[1].first, 1, pack);
        if (middleRows >= 2 && scratch != nullptr) {
            sumColumns(rows, bands[1].first, bands[1].end, sw, scratch);
            down.middleTotals = scratch;
        }
        if (bands[2].end - bands[2].first == 1 && bands[2].width != 0) {
            down.row[2] = fetchRow(rows, bands[2].first, 2, pack);
        }

        // A cell is stepX or stepX + 1 sub-pixels wide: two areas (>> 7) per row. Only a
        // destination larger than the source can have a cell below 1/128 pixel in area.
        const std::int64_t areas[2] = {(stepX * down.side.span) >> subPixelShift,
                                       ((stepX + 1) * down.side.span) >> subPixelShift};
        const Reciprocal divisors[2] = {reciprocalOf(static_cast<std::uint64_t>(areas[0])),
                                        reciprocalOf(static_cast<std::uint64_t>(areas[1]))};

        std::uint8_t* out = outputRow(output, y);
        if (pack) {
            // The near band always reads a row; a band that reads none reads it with width 0.
            const std::uint64_t* packedRows[3];
            std::int64_t rowWidths[3];
            for (int band = 0; band < 3; ++band) {
                const bool used = down.row[band] != nullptr;
                packedRows[band] = used ? rows->packed[band] : rows->packed[0];
                rowWidths[band] = used ? bands[band].width : 0;
            }
            reducePackedRow(cells, columnCount, packedRows, rowWidths, areas, divisors, out);
            outputRowDone(output, y, columnCount);
            continue;
        }
        std::int32_t l = 0;
        std::int64_t remainder = 0;
        for (std::int32_t x = 0; x < columnCount; ++x, out += 3) {
            auto r = static_cast<std::int32_t>(l + stepX);
            remainder += carryX;
            if (remainder >= dw) {
                remainder -= dw;
                ++r;
            }
            const int wide = r - l > stepX ? 1 : 0;
            if (areas[wide] > 0) {
                reducePixel(planSide(l, r, sw), down, divisors[wide], out);
            } else {
                out[0] = out[1] = out[2] = 0;
            }
            l = r;
        }
        outputRowDone(output, y, columnCount);
    }
}

// The size of what `input` hands out.
void inputSize(const ReduceInput* input, std::int32_t* width, std::int32_t* height) {
    *width = input->enlarged != nullptr ? input->enlarged->width : input->source->width;
    *height = input->enlarged != nullptr ? input->enlarged->height : input->source->height;
}

// The reduction of `input` into a width x height output whose memory is allocated: the edge
// limits, the working memory (the column totals; the three row buffers unless the rows of an
// image are read as they are, and then, without the totals, tall regions are read straight from
// them), and the pixels that fit. Results: 1 an edge left 32 bits or working memory was refused;
// 0 done.
std::int32_t reduceAllocated(Output* output, std::int32_t width, std::int32_t height,
                             const ReduceInput* input) {
    if (width == 0 || height == 0) return 0;
    std::int32_t sw = 0;
    std::int32_t sh = 0;
    inputSize(input, &sw, &sh);

    // In scan order the first pixel with an edge beyond 32 bits is (0, rowLimit) when every
    // column fits, and otherwise (columnLimit, 0): only part of row 0 is written then.
    const std::int32_t columnLimit = edgeLimit(width, sw);
    const std::int32_t rowLimit = edgeLimit(height, sh);
    if (rowLimit == 0) return 1;

    InputRows rows{input, nullptr, sw, {}, {}, -1, nullptr, false};
    if (input->enlarged == nullptr) rows.direct = input->source->imageRows;
    const std::size_t columns = static_cast<std::size_t>(sw < 0 ? 0 : sw);
    std::size_t scratchBytes = 0;
    std::uint32_t* scratch = nullptr;
    if (!mulOverflows(3 * columns, sizeof(std::uint32_t), &scratchBytes)) {
        scratch = static_cast<std::uint32_t*>(std::malloc(scratchBytes == 0 ? 1 : scratchBytes));
    }
    std::uint8_t* buffers = nullptr;
    if (rows.direct == nullptr) {
        buffers = static_cast<std::uint8_t*>(std::malloc(9 * columns == 0 ? 1 : 9 * columns));
        if (scratch == nullptr || buffers == nullptr) {
            std::free(scratch);
            std::free(buffers);
            return 1;
        }
        for (std::size_t k = 0; k < 3; ++k)
            rows.buffer[k] = buffers + 3 * columns * k;
    }
    // Packed rows serve cells of at most two pixels across; without them such cells are added
    // channel by channel.
    std::uint64_t* packed = nullptr;
    PackedCell* cells = nullptr;
    if (cellsOfTwoPixels(width, sw)) {
        packed = static_cast<std::uint64_t*>(std::malloc(3 * columns * sizeof(std::uint64_t) + 1));
        cells = static_cast<PackedCell*>(
            std::malloc(static_cast<std::size_t>(width) * sizeof(PackedCell)));
        if (packed == nullptr || cells == nullptr) {
            std::free(packed);
            std::free(cells);
            packed = nullptr;
            cells = nullptr;
        }
        for (std::size_t k = 0; k < 3 && packed != nullptr; ++k)
            rows.packed[k] = packed + columns * k;
    }
    std::int32_t result = 0;
    if (columnLimit < width) {
        reducePixels(output, &rows, width, height, sw, sh, 1, columnLimit, scratch, cells);
        result = 1;
    } else {
        reducePixels(output, &rows, width, height, sw, sh, rowLimit, width, scratch, cells);
        result = rowLimit < height ? 1 : 0;
    }
    std::free(cells);
    std::free(packed);
    std::free(buffers);
    std::free(scratch);
    return result;
}

}  // namespace

std::int32_t reduceImage(RgbImage* dest, std::int32_t width, std::int32_t height,
                         const RgbImage* source) {
    if (source->status != 0) {
        dest->status = statusReduceBadSource;
        return statusReduceBadSource;
    }
    const PixelSource pixels = pixelSourceOfImage(source);
    const ReduceInput input{&pixels, nullptr};
    return reduceInputToImage(dest, width, height, &input);
}

std::int32_t reduceInputToImage(RgbImage* dest, std::int32_t width, std::int32_t height,
                                const ReduceInput* input) {
    if (rgbImageAlloc(dest, width, height) != 0) {
        dest->status |= statusReduceAllocFailed;
        return statusReduceAllocFailed;
    }
    Output output{dest, nullptr, nullptr};
    return reduceAllocated(&output, width, height, input);
}

std::int32_t reduceToGrey(GreyPicture* dest, std::int32_t width, std::int32_t height,
                          const ReduceInput* input) {
    *dest = {width, height, nullptr, 0};
    std::size_t pixels = 0;
    std::size_t colourBytes = 0;
    if (width < 1 || height < 1 ||
        mulOverflows(static_cast<std::size_t>(width), static_cast<std::size_t>(height), &pixels) ||
        mulOverflows(static_cast<std::size_t>(width), 3, &colourBytes)) {
        return 1;
    }
    dest->pixels = static_cast<std::uint8_t*>(std::malloc(pixels));
    auto* colours = static_cast<std::uint8_t*>(std::malloc(colourBytes));
    std::int32_t result = 1;
    if (dest->pixels != nullptr && colours != nullptr) {
        Output output{nullptr, dest, colours};
        result = reduceAllocated(&output, width, height, input);
    }
    std::free(colours);
    if (result != 0) {
        std::free(dest->pixels);
        dest->pixels = nullptr;
    }
    return result;
}

std::int32_t reduceEdgesOverflow(std::int32_t width, std::int32_t height, std::int32_t sourceWidth,
                                 std::int32_t sourceHeight) {
    if (width < 1 || height < 1) return 0;
    if (edgeLimit(width, sourceWidth) < width) return 1;
    if (edgeLimit(height, sourceHeight) < height) return 1;
    return 0;
}
