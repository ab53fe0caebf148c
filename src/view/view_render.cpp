// Terminal drawing of a MonoBitmap: fitting, the rarer-colour reduction, half-block output.
#include "view/view_render.h"

#include <limits>

namespace {

constexpr std::int32_t int32Max = std::numeric_limits<std::int32_t>::max();

// The four glyphs, indexed by (upper white ? 2 : 0) + (lower white ? 1 : 0).
constexpr const char* halfBlockGlyph[4] = {" ", "\u2584", "\u2580", "\u2588"};

// Bright white foreground on a black background, then back to the terminal's own colours.
constexpr const char* colourStart = "\x1b[97;40m";
constexpr const char* colourEnd = "\x1b[0m";

bool sideInRange(std::int32_t side) {
    return side >= 1 && side <= viewMaxSide;
}

// Number of pixels of colour `white` (1 or 0) in columns [x0, x1) of rows [y0, y1).
std::int64_t countColour(const MonoBitmap* bitmap, std::int32_t white, std::int32_t x0,
                         std::int32_t x1, std::int32_t y0, std::int32_t y1) {
    std::int64_t count = 0;
    for (std::int32_t y = y0; y < y1; ++y) {
        for (std::int32_t x = x0; x < x1; ++x) {
            if (monoGetPixel(bitmap, x, y) == white) ++count;
        }
    }
    return count;
}

// Start of block `index` of `parts` equal-as-can-be blocks cutting `length` pixels.
std::int32_t blockStart(std::int32_t index, std::int32_t parts, std::int32_t length) {
    return static_cast<std::int32_t>(std::int64_t{index} * length / parts);
}

}  // namespace

std::int32_t viewFitSize(std::int32_t width, std::int32_t height, std::int32_t maxColumns,
                         std::int32_t* fitWidth, std::int32_t* fitHeight) {
    if (!sideInRange(width) || !sideInRange(height)) return 1;
    if (maxColumns <= 0) return 2;
    if (fitWidth == nullptr || fitHeight == nullptr) return 3;
    const std::int32_t columns = maxColumns < width ? maxColumns : width;
    // The product in 64 bits; the rounded quotient is at most the height (columns <= width).
    const auto rows =
        static_cast<std::int32_t>((std::int64_t{height} * columns + width / 2) / width);
    *fitWidth = columns;
    *fitHeight = rows >= 1 ? rows : 1;
    return 0;
}

std::int32_t viewReduce(MonoBitmap* dest, const MonoBitmap* source, std::int32_t width,
                        std::int32_t height, MonoAllocateFn allocate) {
    if (source == nullptr || source->data == nullptr) return 1;
    if (source->width > viewMaxSide || source->height > viewMaxSide) return 2;
    if (std::int64_t{source->width} * source->height > viewMaxPixels) return 2;
    if (width < 1 || width > source->width || height < 1 || height > source->height) return 3;
    if (monoCreate(dest, width, height, allocate) != 0) return 4;

    const std::int64_t total = std::int64_t{source->width} * source->height;
    const std::int64_t whiteCount = countColour(source, 1, 0, source->width, 0, source->height);
    // The rarer colour; white when both are equally common.
    const std::int32_t rare = 2 * whiteCount <= total ? 1 : 0;
    const std::int64_t rareTotal = rare == 1 ? whiteCount : total - whiteCount;

    for (std::int32_t cy = 0; cy < height; ++cy) {
        const std::int32_t y0 = blockStart(cy, height, source->height);
        const std::int32_t y1 = blockStart(cy + 1, height, source->height);
        for (std::int32_t cx = 0; cx < width; ++cx) {
            const std::int32_t x0 = blockStart(cx, width, source->width);
            const std::int32_t x1 = blockStart(cx + 1, width, source->width);
            const std::int64_t blockSize = std::int64_t{x1 - x0} * (y1 - y0);
            const std::int64_t rareInBlock = countColour(source, rare, x0, x1, y0, y1);
            // rareInBlock / blockSize > rareTotal / total, without division; both products stay
            // below viewMaxPixels^2 = 2^48.
            const bool rareWins = rareInBlock * total > rareTotal * blockSize;
            monoSetPixel(dest, cx, cy, rareWins ? rare : 1 - rare);
        }
    }
    return 0;
}

std::int32_t viewDraw(const MonoBitmap* bitmap, std::int32_t colour, std::FILE* stream) {
    if (bitmap == nullptr || bitmap->data == nullptr) return 1;
    if (stream == nullptr) return 2;
    const std::int32_t lines = bitmap->height / 2 + bitmap->height % 2;
    for (std::int32_t line = 0; line < lines; ++line) {
        const std::int32_t y = 2 * line;
        if (colour != 0) std::fputs(colourStart, stream);
        for (std::int32_t x = 0; x < bitmap->width; ++x) {
            // monoGetPixel answers 0 below the last row, which draws the missing row black.
            const std::int32_t glyph =
                2 * monoGetPixel(bitmap, x, y) + monoGetPixel(bitmap, x, y + 1);
            std::fputs(halfBlockGlyph[glyph], stream);
        }
        if (colour != 0) std::fputs(colourEnd, stream);
        std::fputc('\n', stream);
    }
    return 0;
}

std::int32_t viewParseColumns(const char* text) {
    if (text == nullptr || *text == '\0') return 0;
    std::int32_t value = 0;
    for (const char* at = text; *at != '\0'; ++at) {
        if (*at < '0' || *at > '9') return 0;
        const std::int32_t digit = *at - '0';
        if (value > (int32Max - digit) / 10) return 0;
        value = value * 10 + digit;
    }
    return value;
}
