// The size that resizeImage must give, worked out from the rules alone, for the fuzz targets:
// a side of 0 or less is derived from the other (in 64 bits, refused beyond 32 bits), neither
// side positive is refused, a target larger than the source on either axis is first enlarged by
// whole factors, and the reduction can only reach sizes whose edge products stay within
// 16,777,215 on both axes.
#pragma once

#include <cstdint>
#include <limits>

namespace fuzzsupport {

inline constexpr std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();
inline constexpr std::int64_t edgeProductLimit = 16777215;

struct Expectation {
    bool refusedSize = false;  // 0x200000: neither side positive, or a derived side too large
    std::int64_t width = 0;    // the target, when not refused
    std::int64_t height = 0;
    std::int64_t workWidth = 0;  // what the reduction starts from (enlarged or the source)
    std::int64_t workHeight = 0;
    bool reductionFails = false;  // an edge product beyond the limit
};

// The smallest size factor * (s - 1) + 1 that reaches t; a 1-pixel axis is repeated to t.
inline std::int64_t enlargedSide(std::int64_t target, std::int64_t source) {
    if (source == 1) return target > 1 ? target : 1;
    std::int64_t factor = (target - 1 + source - 2) / (source - 1);
    if (factor < 1) factor = 1;
    return factor * (source - 1) + 1;
}

inline Expectation expect(std::int32_t width, std::int32_t height, std::int64_t sw,
                          std::int64_t sh) {
    Expectation e;
    if (width <= 0 && height <= 0) {
        e.refusedSize = true;
        return e;
    }
    e.width = width;
    e.height = height;
    if (width <= 0) e.width = std::int64_t{height} * sw / sh;
    if (width > 0 && height <= 0) e.height = std::int64_t{width} * sh / sw;
    if (e.width > int32Max || e.height > int32Max) {
        e.refusedSize = true;
        return e;
    }
    const bool enlarge = e.width > sw || e.height > sh;
    e.workWidth = enlarge ? enlargedSide(e.width, sw) : sw;
    e.workHeight = enlarge ? enlargedSide(e.height, sh) : sh;
    if (e.width >= 1 && e.height >= 1) {
        e.reductionFails =
            e.workWidth * e.width > edgeProductLimit || e.workHeight * e.height > edgeProductLimit;
    }
    return e;
}

}  // namespace fuzzsupport
