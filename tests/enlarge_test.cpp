// The integer-factor bilinear enlargement: result sizes, worked results, 1-pixel axes, status
// words, and a comparison on noise with the blend formula evaluated pixel by pixel, which
// catches channel mix-ups and numerators beyond 32 bits that grey worked results cannot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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

TEST(EnlargeImage, MatchesTheBlendFormula) {
    struct Case {
        int sourceWidth, sourceHeight, width, height, resultWidth, resultHeight, stepX, stepY;
    };
    const Case cases[] = {
        {200, 150, 201, 150, 399, 150, 1, 1},  // the source in the even columns
        {2, 2, 1000, 1000, 1000, 1000, 1, 1},
        {2, 2, 20000, 900, 20000, 900, 7, 29},  // numerators beyond 32 bits; last row and column
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceWidth << "x" << c.sourceHeight << " to "
                                        << c.width << "x" << c.height);
        RgbImage source = makeNoise(c.sourceWidth, c.sourceHeight, 4);
        RgbImage dest{};
        ASSERT_EQ(enlargeImage(&dest, c.width, c.height, &source), 0);
        ASSERT_EQ(dest.width, c.resultWidth);
        ASSERT_EQ(dest.height, c.resultHeight);
        expectBlend(dest, source, c.stepX, c.stepY);
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
