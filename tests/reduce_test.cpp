// The area-averaging reduction against a model written from its rule, worked results, the
// 32-bit edge limit and the status words.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "resample/reduce.h"
#include "test_support.h"

namespace {

using testsupport::imageBytes;
using testsupport::makeNoise;

// The three bands of a cell side from lo to hi (1/128 pixel): first and end sub-pixel, width.
void bandsOf(std::int64_t lo, std::int64_t hi, std::int64_t bands[3][3]) {
    const std::int64_t loFloor = lo & ~127, hiFloor = hi & ~127;
    const std::int64_t made[3][3] = {{loFloor, loFloor + 128, loFloor + 128 - lo},
                                     {loFloor + 128, hiFloor, hiFloor - loFloor - 128},
                                     {hiFloor, hiFloor + 128, hi - hiFloor}};
    std::copy(&made[0][0], &made[0][0] + 9, &bands[0][0]);
}

// Destination pixel (x, y): each of the nine regions adds the truncated mean of its whole source
// pixels (limited to the source) times its area >> 7; the sum is divided by the cell's area >> 7.
void referencePixel(const RgbImage& s, std::int64_t dw, std::int64_t dh, std::int64_t x,
                    std::int64_t y, std::uint8_t* out) {
    const std::int64_t l = x * s.width * 128 / dw, r = (x + 1) * s.width * 128 / dw;
    const std::int64_t t = y * s.height * 128 / dh, b = (y + 1) * s.height * 128 / dh;
    std::int64_t across[3][3], down[3][3], sums[3] = {0, 0, 0};
    bandsOf(l, r, across);
    bandsOf(t, b, down);
    for (const auto& v : down) {
        for (const auto& h : across) {
            const std::int64_t x0 = h[0] >> 7, x1 = std::min<std::int64_t>(h[1] >> 7, s.width);
            const std::int64_t y0 = v[0] >> 7, y1 = std::min<std::int64_t>(v[1] >> 7, s.height);
            if (x0 >= x1 || y0 >= y1) continue;
            for (int c = 0; c < 3; ++c) {
                std::int64_t total = 0;
                for (std::int64_t row = y0; row < y1; ++row) {
                    for (std::int64_t column = x0; column < x1; ++column)
                        total += s.rows[row][3 * column + c];
                }
                sums[c] += total / ((x1 - x0) * (y1 - y0)) * ((h[2] * v[2]) >> 7);
            }
        }
    }
    for (int c = 0; c < 3; ++c)
        out[c] = static_cast<std::uint8_t>(
            std::min<std::int64_t>(sums[c] / (((r - l) * (b - t)) >> 7), 255));
}

// Cells below two pixels, tall and wide cells, one cell over everything, the same size (a
// copy), and a 600 x 600 source whose sums pass 32 bits.
TEST(ReduceImage, MatchesTheRule) {
    for (const auto& [sw, sh] : {std::pair{37, 29}, {5, 64}, {600, 600}}) {
        RgbImage source = makeNoise(sw, sh, 11);
        std::vector<std::pair<int, int>> sizes{{1, 1}, {3, 2}};
        for (int width = 1; sw < 600 && width <= sw; ++width) {
            for (int height = sh; height >= 1; height -= 3)
                sizes.emplace_back(width, height);
        }
        for (const auto& [width, height] : sizes) {
            SCOPED_TRACE(testing::Message() << sw << "x" << sh << " to " << width << "x" << height);
            RgbImage dest{};
            ASSERT_EQ(reduceImage(&dest, width, height, &source), 0);
            std::vector<std::uint8_t> expected(3 * static_cast<std::size_t>(width) * height);
            for (int at = 0; at < width * height; ++at)
                referencePixel(source, width, height, at % width, at / width, &expected[3 * at]);
            ASSERT_EQ(imageBytes(dest), expected);
            rgbImageFree(&dest);
        }
        rgbImageFree(&source);
    }
}

// A uniform grey 200 loses a level where truncated region means and weights add up short.
TEST(ReduceImage, WorkedGreyResult) {
    RgbImage source = testsupport::makeGreyImage(6, 3, std::vector<int>(18, 200));
    RgbImage dest{};
    ASSERT_EQ(reduceImage(&dest, 5, 2, &source), 0);
    std::vector<std::uint8_t> expected;
    for (const int grey : {200, 199, 200, 200, 200, 200, 199, 200, 200, 200})
        expected.insert(expected.end(), 3, static_cast<std::uint8_t>(grey));
    EXPECT_EQ(imageBytes(dest), expected);
    rgbImageFree(&dest);
    rgbImageFree(&source);
}

// One region of more than 2^32 / 255 white pixels: its total passes 32 bits.
TEST(ReduceImage, RegionTotalsBeyond32Bits) {
    RgbImage white{};
    ASSERT_EQ(rgbImageAlloc(&white, 4200, 4200), 0);
    for (int y = 0; y < 4200; ++y)
        std::memset(white.rows[y], 255, 3 * 4200);
    RgbImage dest{};
    ASSERT_EQ(reduceImage(&dest, 1, 1, &white), 0);
    EXPECT_EQ(imageBytes(dest), std::vector<std::uint8_t>(3, 255));
    rgbImageFree(&dest);
    rgbImageFree(&white);
}

TEST(ReduceImage, StopsAtTheFirstEdgeBeyond32BitsKeepingThePixelsBefore) {
    RgbImage source = makeNoise(5000, 1, 3);
    RgbImage dest{};
    EXPECT_EQ(reduceImage(&dest, 4000, 1, &source), 1);
    EXPECT_EQ(dest.status, 0);
    std::vector<std::uint8_t> expected(3 * 3355);  // columns 0 to 3354
    for (int x = 0; x < 3355; ++x)
        referencePixel(source, 4000, 1, x, 0, &expected[3 * x]);
    EXPECT_EQ(std::vector<std::uint8_t>(dest.rows[0], dest.rows[0] + expected.size()), expected);
    rgbImageFree(&dest);
    rgbImageFree(&source);
}

TEST(ReduceImage, StatusWords) {
    RgbImage source = makeNoise(3, 3, 2);
    RgbImage failed = source;
    failed.status = 0x8000001;
    RgbImage dest{0x7, 0, 0, nullptr};
    EXPECT_EQ(reduceImage(&dest, 2, 2, &failed), 0x4000);
    EXPECT_EQ(dest.status, 0x4000);  // assigned
    EXPECT_EQ(reduceImage(&dest, 70000, 70000, &source), 0x8000);
    EXPECT_EQ(dest.status, 0x8001);
    rgbImageFree(&source);
}

}  // namespace
