// Division by a divisor used many times: a multiplication instead of a division.
#pragma once

#include <cstdint>
#include <limits>

// A divisor and ceil(2^64 / divisor), its multiplier. For a divisor from 2 to 2^32 - 1 and a
// numerator below 2^32, the high 64 bits of numerator * multiplier are the exact truncated
// quotient: the multiplier exceeds 2^64 / divisor by less than 1 / divisor's share, so the error
// numerator * excess / 2^64 stays below 1 / divisor and never crosses an integer. The multiplier
// is 0 (divide plainly) for any other divisor.
struct Reciprocal {
    std::uint64_t divisor;
    std::uint64_t magic;
};

inline Reciprocal reciprocalOf(std::uint64_t divisor) {
    if (divisor < 2 || divisor > std::numeric_limits<std::uint32_t>::max()) return {divisor, 0};
    return {divisor, std::numeric_limits<std::uint64_t>::max() / divisor + 1};
}

__extension__ using ReciprocalProduct = unsigned __int128;

// numerator / divisor, truncated, by the multiplier; the reciprocal's magic must not be 0.
inline std::uint32_t divideNarrow(const Reciprocal& reciprocal, std::uint32_t numerator) {
    return static_cast<std::uint32_t>((ReciprocalProduct{reciprocal.magic} * numerator) >> 64);
}

// numerator / divisor, truncated, for any numerator (a divisor of 0 is not allowed).
inline std::uint64_t divideBy(const Reciprocal& reciprocal, std::uint64_t numerator) {
    if (reciprocal.magic != 0 && (numerator >> 32) == 0) {
        return divideNarrow(reciprocal, static_cast<std::uint32_t>(numerator));
    }
    return numerator / reciprocal.divisor;
}
