// What the fuzz targets share: FUZZ_CHECK, which prints a broken rule and aborts so that
// libFuzzer (or the replay) stops on that input; a read stream over the input's bytes; the size
// resizeImage must give, worked out from the rules (the enlargement's size asked of the code);
// and the size of a WBMP file.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "resample/enlarge.h"

#define FUZZ_CHECK(c) \
    ((c) ? void() : (std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #c), std::abort()))

inline std::FILE* openBytes(const void* data, std::size_t size) {  // the caller closes it
    static char none = 0;  // fmemopen wants a buffer even for an empty stream
    std::FILE* stream = fmemopen(size != 0 ? const_cast<void*>(data) : &none, size, "rb");
    FUZZ_CHECK(stream != nullptr);
    return stream;
}

// A request of width x height over a source of sw x sh. A side of 0 or less is derived from the
// other (refused beyond 32 bits); neither side positive is refused. A target larger than the
// source on either axis is first enlarged to the size enlargedSize gives; the reduction fails when
// an edge product exceeds 16,777,215 on either axis.
struct Expectation {
    bool refusedSize, reductionFails;        // 0x200000; 0x400000 or 0x800000
    std::int64_t width, height, workPixels;  // the target; what the reduction starts from
};

inline Expectation expectedResize(std::int32_t width, std::int32_t height, std::int64_t sw,
                                  std::int64_t sh) {
    const std::int64_t w = width > 0 ? width : std::int64_t{height} * sw / sh;
    const std::int64_t h = height > 0 ? height : std::int64_t{width} * sh / sw;
    if ((width <= 0 && height <= 0) || w > INT32_MAX || h > INT32_MAX)
        return {true, false, w, h, 0};
    std::int32_t workWidth = std::int32_t(sw), workHeight = std::int32_t(sh);
    const bool larger = w > sw || h > sh;
    if (larger && enlargedSize(std::int32_t(w), std::int32_t(h), std::int32_t(sw), std::int32_t(sh),
                               &workWidth, &workHeight) != 0)
        return {false, true, w, h, 0};
    const bool fails = w >= 1 && h >= 1 && (workWidth * w > 16777215 || workHeight * h > 16777215);
    return {false, fails, w, h, std::int64_t{workWidth} * workHeight};
}

// Two zero bytes, the width and the height (1 or more) in 7-bit groups, then the rows' bytes.
inline std::int64_t wbmpFileSize(std::int64_t width, std::int64_t height) {
    const auto groups = [](std::int64_t s) { return (std::bit_width(std::uint64_t(s)) + 6) / 7; };
    return 2 + groups(width) + groups(height) + (width + 7) / 8 * height;
}
