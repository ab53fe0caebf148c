// Checked arithmetic for sizes: every allocation size goes through these, never a bare product.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

// Stores a * b in *out; returns true (and leaves *out alone) when the product overflows.
inline bool mulOverflows(std::size_t a, std::size_t b, std::size_t* out) {
    if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a) return true;
    *out = a * b;
    return false;
}

// Stores a + b in *out; returns true (and leaves *out alone) when the sum overflows.
inline bool addOverflows(std::size_t a, std::size_t b, std::size_t* out) {
    if (b > std::numeric_limits<std::size_t>::max() - a) return true;
    *out = a + b;
    return false;
}

// True when a * b, both non-negative, fits a signed 32-bit integer.
inline bool mulFits32(std::int64_t a, std::int64_t b) {
    return a >= 0 && b >= 0 && (a == 0 || b <= std::numeric_limits<std::int32_t>::max() / a);
}
