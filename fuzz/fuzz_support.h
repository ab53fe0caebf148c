// What the fuzz targets share: FUZZ_CHECK, which prints a broken rule and aborts so that
// libFuzzer (or the replay) stops on that input; the size resizeImage must give, worked out from
// the rules alone; and the size of a WBMP file.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                  \
    ((condition)                                                                               \
         ? void()                                                                              \
         : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition), \
            std::abort()))

// What a request of width x height over a source of sw x sh gives. A side of 0 or less is derived
// from the other (in 64 bits, refused beyond 32 bits); neither side positive is refused. A target
// larger than the source on either axis is first enlarged by whole factors: each side becomes the
// smallest factor * (s - 1) + 1 that reaches the target (a 1-pixel side is repeated to the
// target). The reduction then fails when an edge product exceeds 16,777,215 on either axis.
struct Expectation {
    bool refusedSize;            // 0x200000
    bool reductionFails;         // 0x400000 or 0x800000
    std::int64_t width, height;  // the target
    std::int64_t workPixels;     // what the reduction starts from
};

inline std::int64_t enlargedSide(std::int64_t target, std::int64_t source) {
    if (source == 1) return std::max<std::int64_t>(target, 1);
    return std::max<std::int64_t>((target + source - 3) / (source - 1), 1) * (source - 1) + 1;
}

inline Expectation expectedResize(std::int32_t width, std::int32_t height, std::int64_t sw,
                                  std::int64_t sh) {
    const std::int64_t w = width > 0 ? width : std::int64_t{height} * sw / sh;
    const std::int64_t h = height > 0 ? height : std::int64_t{width} * sh / sw;
    if ((width <= 0 && height <= 0) || w > INT32_MAX || h > INT32_MAX)
        return {true, false, w, h, 0};
    const bool enlarge = w > sw || h > sh;
    const std::int64_t workWidth = enlarge ? enlargedSide(w, sw) : sw;
    const std::int64_t workHeight = enlarge ? enlargedSide(h, sh) : sh;
    const bool fails = w >= 1 && h >= 1 && (workWidth * w > 16777215 || workHeight * h > 16777215);
    return {false, fails, w, h, workWidth * workHeight};
}

// The bytes of a WBMP file: two zero bytes, the width and the height in 7-bit groups, then whole
// bytes for each row.
inline std::int64_t wbmpFileSize(std::int64_t width, std::int64_t height) {
    const auto groups = [](std::int64_t side) {
        return std::max<std::int64_t>((std::bit_width(std::uint64_t(side)) + 6) / 7, 1);
    };
    return 2 + groups(width) + groups(height) + (width + 7) / 8 * height;
}
