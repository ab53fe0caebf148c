// The integer-factor bilinear enlargement against the blend formula evaluated pixel by pixel
// (result sizes, 1-pixel axes, numerators beyond 32 bits), a worked result and status words.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "resample/enlarge.h"
#include "test_support.h"

namespace {

using testsupport::makeNoise;

// Channel c of result pixel (x, y) by the blend formula: its cell lies between source columns
// j - 1, j and rows i - 1, i, l columns and k rows in (the last result pixel is the far edge of
// the last cell). A 1-pixel axis has the factor 1, and its pixel stands in for the one beyond.
std::int64_t blend(const RgbImage& s, std::int64_t fx, std::int64_t fy, std::int64_t x,
                   std::int64_t y, int c) {
    const std::int64_t j = std::clamp<std::int64_t>(x / fx + 1, 1, std::max(s.width - 1, 1));
    const std::int64_t i = std::clamp<std::int64_t>(y / fy + 1, 1, std::max(s.height - 1, 1));
    const std::int64_t l = x - (j - 1) * fx, k = y - (i - 1) * fy;
    auto p = [&](std::int64_t column, std::int64_t row) -> std::int64_t {
        return s.rows[std::min<std::int64_t>(row, s.height - 1)]
                     [3 * std::min<std::int64_t>(column, s.width - 1) + c];
    };
    return ((fy - k) * ((fx - l) * p(j - 1, i - 1) + l * p(j, i - 1)) +
            k * ((fx - l) * p(j - 1, i) + l * p(j, i))) /
           (fx * fy);
}

TEST(EnlargeImage, MatchesTheBlendFormula) {
    struct Case {
        int sourceWidth, sourceHeight, width, height, resultWidth, resultHeight, stepX, stepY;
    };
    const Case cases[] = {
        {200, 150, 201, 150, 399, 150, 1, 1},  // the source in the even columns
        {2, 2, 1000, 1000, 1000, 1000, 3, 7},
        {2, 2, 20000, 900, 20000, 900, 7, 29},  // numerators beyond 32 bits; last row and column
        // A 1-pixel axis repeats its pixel to the requested size, at least 1.
        {1, 3, 2, 5, 2, 5, 1, 1},
        {3, 1, 5, 2, 5, 2, 1, 1},
        {1, 1, 0, -4, 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceWidth << "x" << c.sourceHeight << " to "
                                        << c.width << "x" << c.height);
        RgbImage source = makeNoise(c.sourceWidth, c.sourceHeight, 4);
        RgbImage dest{};
        ASSERT_EQ(enlargeImage(&dest, c.width, c.height, &source), 0);
        EXPECT_EQ(dest.status, 0);
        ASSERT_EQ(dest.width, c.resultWidth);
        ASSERT_EQ(dest.height, c.resultHeight);
        const std::int64_t fx = c.sourceWidth == 1 ? 1 : (dest.width - 1) / (c.sourceWidth - 1);
        const std::int64_t fy = c.sourceHeight == 1 ? 1 : (dest.height - 1) / (c.sourceHeight - 1);
        for (int y = 0; y < dest.height; y += c.stepY) {
            for (int x = 0; x < dest.width * 3; x += 3 * c.stepX) {
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(dest.rows[y][x + ch], blend(source, fx, fy, x / 3, y, ch))
                        << x / 3 << "," << y;
            }
        }
        rgbImageFree(&dest);
        rgbImageFree(&source);
    }
}

TEST(EnlargeImage, WorkedGreyResult) {
    RgbImage source = testsupport::makeGreyImage(2, 2, {0, 255, 255, 0});
    RgbImage dest{};
    ASSERT_EQ(enlargeImage(&dest, 4, 4, &source), 0);
    std::vector<std::uint8_t> expected;
    for (const int grey : {0, 85, 170, 255, 85, 113, 141, 170, 170, 141, 113, 85, 255, 170, 85, 0})
        expected.insert(expected.end(), 3, static_cast<std::uint8_t>(grey));
    EXPECT_EQ(testsupport::imageBytes(dest), expected);
    rgbImageFree(&dest);
    rgbImageFree(&source);
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
