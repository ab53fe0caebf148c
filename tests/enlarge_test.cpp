// The integer-factor bilinear enlargement: result sizes, worked results, 1-pixel axes, status
// words, and a comparison with the blend formula evaluated pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "resample/enlarge.h"
#include "test_support.h"

namespace {

using testsupport::makeNoise;

// Checks every stepX-th column of every stepY-th row of `dest` against the blend formula, with
// the factors its size implies (1 on a 1-pixel source axis, whose pixel is then repeated).
void expectBlend(const RgbImage& dest, const RgbImage& source, int stepX = 1, int stepY = 1) {
    const std::int64_t fx = source.width == 1 ? 1 : (dest.width - 1) / (source.width - 1);
    const std::int64_t fy = source.height == 1 ? 1 : (dest.height - 1) / (source.height - 1);
    // Position p on an axis of `size` source pixels: cell index i (1-based) and offset k; the
    // last result pixel is the far edge of the last cell.
    auto cell = [](std::int64_t p, std::int64_t f, std::int64_t size, std::int64_t* k) {
        *k = p % f;
        if (p / f + 1 != size) return p / f + 1;
        *k = f;
        return size - 1;
    };
    for (int y = 0; y < dest.height; y += stepY) {
        for (int x = 0; x < dest.width; x += stepX) {
            std::int64_t l = 0, k = 0;
            const std::int64_t j = cell(x, fx, source.width, &l);
            const std::int64_t i = cell(y, fy, source.height, &k);
            for (int c = 0; c < 3; ++c) {
                auto p = [&](std::int64_t column, std::int64_t row) -> std::int64_t {
                    column = std::clamp<std::int64_t>(column, 0, source.width - 1);
                    return source
                        .rows[std::clamp<std::int64_t>(row, 0, source.height - 1)][3 * column + c];
                };
                const std::int64_t n = (fy - k) * ((fx - l) * p(j - 1, i - 1) + l * p(j, i - 1)) +
                                       k * ((fx - l) * p(j - 1, i) + l * p(j, i));
                if (dest.rows[y][3 * x + c] != n / (fx * fy)) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c;
                    return;
                }
            }
        }
    }
}

TEST(EnlargedSize, SmallestFactorsReachingTheRequest) {
    // width, height, source width and height, result width and height (-1: refused).
    // clang-format off
    const int cases[][6] = {
        {3, 3, 2, 2, 3, 3}, {4, 4, 2, 2, 4, 4}, {400, 300, 200, 150, 598, 448},
        {201, 150, 200, 150, 399, 150}, {1000, 1000, 2, 2, 1000, 1000},
        {400, 1, 200, 150, 598, 150},
        {0, 0, 2, 2, 2, 2}, {-9, 3, 5, 2, 5, 3}, {2, 100, 1, 50, 2, 148}, {-7, 5, 1, 3, 1, 5},
        {357913938, 1, 2, 1, 357913938, 1}, {357913939, 1, 2, 1, -1, -1},
        {2147483647, 1, 2, 1, -1, -1}, {2147483647, 1, 200, 150, -1, -1},
        {1, 2147483647, 1, 65535, -1, -1}, {100000, 100000, 2, 2, -1, -1},
        {2147483647, 2, 3, 3, -1, -1},  // fits 32 bits, not the block limit
    };
    // clang-format on
    for (const auto& c : cases) {
        std::int32_t size[2] = {-5, -5};
        EXPECT_EQ(enlargedSize(c[0], c[1], c[2], c[3], &size[0], &size[1]), c[4] < 0 ? 1 : 0)
            << c[0] << "x" << c[1] << " on " << c[2] << "x" << c[3];
        if (c[4] >= 0) {
            EXPECT_EQ(std::vector<int>(size, size + 2), std::vector<int>(c + 4, c + 6));
        }
    }
}

TEST(EnlargeImage, MatchesTheBlendFormula) {
    struct Case {
        int sourceWidth, sourceHeight, width, height, resultWidth, resultHeight, stepX, stepY;
    };
    // clang-format off
    std::vector<Case> cases = {
        {200, 150, 201, 150, 399, 150, 1, 1}, {200, 150, 400, 300, 598, 448, 1, 1},
        {2, 2, 1000, 1000, 1000, 1000, 1, 1}, {1, 50, 2, 100, 2, 148, 1, 1},
        {2, 2, 20000, 900, 20000, 900, 7, 29},  // numerators beyond 32 bits; last row and column
    };
    // clang-format on
    for (int seed = 1; seed <= 40; ++seed) {  // small sources, 1-pixel axes among them
        const int sw = 1 + seed % 6, sh = 1 + seed * 7 % 5;
        const int width = seed * 3 % 23, height = seed * 5 % 29;
        std::int32_t rw = 0, rh = 0;
        ASSERT_EQ(enlargedSize(width, height, sw, sh, &rw, &rh), 0);
        cases.push_back({sw, sh, width, height, rw, rh, 1, 1});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceWidth << "x" << c.sourceHeight << " to "
                                        << c.width << "x" << c.height);
        RgbImage source = makeNoise(c.sourceWidth, c.sourceHeight, 4);
        RgbImage dest{};
        ASSERT_EQ(enlargeImage(&dest, c.width, c.height, &source), 0);
        ASSERT_EQ(dest.width, c.resultWidth);
        ASSERT_EQ(dest.height, c.resultHeight);
        expectBlend(dest, source, c.stepX, c.stepY);
        if (c.width == 201) {  // the source columns are the even columns
            for (int y = 0; y < 150; ++y) {
                for (int x = 0; x < 600; ++x)
                    ASSERT_EQ(dest.rows[y][x + 3 * (x / 3)], source.rows[y][x]) << x << "," << y;
            }
        }
        rgbImageFree(&dest);
        rgbImageFree(&source);
    }
}

TEST(EnlargeImage, WorkedGreyResults) {
    struct Case {
        int sourceWidth, sourceHeight;
        std::vector<int> source;
        int width, height, resultWidth;
        std::vector<int> greys;  // row by row
    };
    // clang-format off
    const Case cases[] = {
        {2, 2, {0, 255, 255, 0}, 3, 3, 3, {0, 127, 255, 127, 127, 127, 255, 127, 0}},
        {2, 2, {0, 255, 255, 0}, 4, 4, 4,
         {0, 85, 170, 255, 85, 113, 141, 170, 170, 141, 113, 85, 255, 170, 85, 0}},
        // A 1-pixel axis repeats its pixel to the requested size, at least 1.
        {1, 3, {0, 100, 255}, 2, 5, 2, {0, 0, 50, 50, 100, 100, 177, 177, 255, 255}},
        {3, 1, {0, 100, 255}, 5, 2, 5, {0, 50, 100, 177, 255, 0, 50, 100, 177, 255}},
        {1, 2, {10, 30}, 1, 3, 1, {10, 20, 30}},
        {1, 1, {42}, 0, -4, 1, {42}},
    };
    // clang-format on
    for (const Case& c : cases) {
        RgbImage source = testsupport::makeGreyImage(c.sourceWidth, c.sourceHeight, c.source);
        RgbImage dest{};
        ASSERT_EQ(enlargeImage(&dest, c.width, c.height, &source), 0);
        EXPECT_EQ(dest.status, 0);
        EXPECT_EQ(dest.width, c.resultWidth);
        std::vector<int> greys;
        for (int y = 0; y < dest.height; ++y) {
            for (int x = 0; x < dest.width; ++x)
                greys.push_back(dest.rows[y][3 * x]);
        }
        EXPECT_EQ(greys, c.greys) << c.sourceWidth << "x" << c.sourceHeight << " to " << c.width;
        rgbImageFree(&dest);
        rgbImageFree(&source);
    }
}

TEST(EnlargeImage, StatusWords) {
    RgbImage source = makeNoise(200, 150, 2);
    RgbImage failed = source;
    failed.status = 0x10000000;
    RgbImage empty{0, 0, 3, nullptr};
    struct Case {
        const RgbImage* source;
        int width, height, result, status;
    };
    for (const Case& c :
         {Case{&failed, 400, 300, 0x40000, 0x40000}, Case{&empty, 4, 4, 0x40000, 0x40000},
          Case{&source, 2147483647, 1, 0x80000, 0x80001},
          Case{&source, 100000, 100000, 0x80000, 0x80001},
          Case{&source, 1, 2147483647, 0x80000, 0x80001}}) {
        RgbImage dest{};
        dest.status = 0x5;
        EXPECT_EQ(enlargeImage(&dest, c.width, c.height, c.source), c.result) << c.width;
        EXPECT_EQ(dest.status, c.status) << c.width;
        EXPECT_EQ(dest.rows, nullptr) << c.width;  // nothing allocated
    }
    rgbImageFree(&source);
}

}  // namespace
