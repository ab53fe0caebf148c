// The integer-factor bilinear enlargement: worked results, result sizes, 1-pixel axes, large
// factors, status words, and a comparison with the blend formula evaluated pixel by pixel.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "resample/enlarge.h"
#include "test_support.h"

namespace {

using testsupport::imageBytes;
using testsupport::makeGreyImage;
using testsupport::makeImage;

RgbImage makeNoise(std::int32_t width, std::int32_t height, std::uint32_t seed) {
    std::minstd_rand random(seed);
    std::vector<std::uint8_t> rgb(3 * static_cast<std::size_t>(width) *
                                  static_cast<std::size_t>(height));
    for (auto& byte : rgb)
        byte = static_cast<std::uint8_t>(random() >> 7);
    return makeImage(width, height, rgb);
}

std::vector<std::vector<int>> greyRows(const RgbImage& image) {
    std::vector<std::vector<int>> rows;
    for (std::int32_t y = 0; y < image.height; ++y) {
        std::vector<int> row;
        for (std::int32_t x = 0; x < image.width; ++x)
            row.push_back(image.rows[y][3 * x]);
        rows.push_back(row);
    }
    return rows;
}

// One channel of result pixel (x, y) straight from the blend formula, for a source of at
// least 2 x 2 enlarged by fx and fy.
int blend(const RgbImage& source, std::int64_t fx, std::int64_t fy, std::int64_t x, std::int64_t y,
          int channel) {
    std::int64_t j = x / fx + 1;
    std::int64_t l = x % fx;
    std::int64_t i = y / fy + 1;
    std::int64_t k = y % fy;
    if (j == source.width) {  // the last column is the right edge of the last cell
        j = source.width - 1;
        l = fx;
    }
    if (i == source.height) {
        i = source.height - 1;
        k = fy;
    }
    auto p = [&](std::int64_t c, std::int64_t r) -> std::int64_t {
        return source.rows[r][3 * c + channel];
    };
    const std::int64_t numerator = (fy - k) * ((fx - l) * p(j - 1, i - 1) + l * p(j, i - 1)) +
                                   k * ((fx - l) * p(j - 1, i) + l * p(j, i));
    return static_cast<int>(numerator / (fx * fy));
}

std::vector<std::uint8_t> referenceEnlarge(const RgbImage& source, std::int32_t fx,
                                           std::int32_t fy) {
    std::vector<std::uint8_t> bytes;
    const std::int32_t width = fx * (source.width - 1) + 1;
    const std::int32_t height = fy * (source.height - 1) + 1;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            for (int channel = 0; channel < 3; ++channel) {
                bytes.push_back(static_cast<std::uint8_t>(blend(source, fx, fy, x, y, channel)));
            }
        }
    }
    return bytes;
}

struct SizeCase {
    std::int32_t width, height, sourceWidth, sourceHeight;
    std::int32_t resultWidth, resultHeight;  // -1: refused
};

TEST(EnlargedSize, SmallestFactorsReachingTheRequest) {
    const std::vector<SizeCase> cases = {
        {3, 3, 2, 2, 3, 3},
        {4, 4, 2, 2, 4, 4},
        {400, 300, 200, 150, 598, 448},
        {201, 150, 200, 150, 399, 150},
        {1000, 1000, 2, 2, 1000, 1000},
        {300, 100, 200, 150, 399, 150},
        {400, 1, 200, 150, 598, 150},  // 1 on an axis of 150: factor 1
        {0, 0, 2, 2, 2, 2},            // a factor below 1 is raised to 1
        {-9, 3, 5, 2, 5, 3},
        {2, 100, 1, 50, 2, 148},  // the single column repeated twice
        {0, 5, 1, 3, 1, 5},
        {-7, 5, 1, 3, 1, 5},
        {7, 4, 1, 1, 7, 4},
        {357913938, 1, 2, 1, 357913938, 1},  // 8 + 3 * 357,913,938 bytes: the block limit
        {357913939, 1, 2, 1, -1, -1},        // one pixel more
        {2147483647, 1, 2, 1, -1, -1},
        {2147483647, 1, 200, 150, -1, -1},  // 2,147,483,825 columns
        {1, 2147483647, 1, 65535, -1, -1},
        {2147483647, 2, 3, 3, -1, -1},  // fits 32 bits, not the block limit
        {100000, 100000, 2, 2, -1, -1},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " on " << c.sourceWidth
                                        << "x" << c.sourceHeight);
        std::int32_t width = -5;
        std::int32_t height = -5;
        const std::int32_t result =
            enlargedSize(c.width, c.height, c.sourceWidth, c.sourceHeight, &width, &height);
        if (c.resultWidth < 0) {
            EXPECT_EQ(result, 1);
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(width, c.resultWidth);
            EXPECT_EQ(height, c.resultHeight);
        }
    }
}

TEST(EnlargeImage, WorkedTwoByTwoResults) {
    struct Case {
        std::int32_t size;
        std::vector<std::vector<int>> rows;
    };
    const std::vector<Case> cases = {
        {3, {{0, 127, 255}, {127, 127, 127}, {255, 127, 0}}},
        {4, {{0, 85, 170, 255}, {85, 113, 141, 170}, {170, 141, 113, 85}, {255, 170, 85, 0}}},
    };
    for (const Case& c : cases) {
        RgbImage source = makeGreyImage(2, 2, {0, 255, 255, 0});
        RgbImage dest{};
        ASSERT_EQ(enlargeImage(&dest, c.size, c.size, &source), 0);
        EXPECT_EQ(dest.status, 0);
        EXPECT_EQ(greyRows(dest), c.rows);
        rgbImageFree(&dest);
        rgbImageFree(&source);
    }
}

TEST(EnlargeImage, SourcePixelsKeepTheirPlaces) {
    struct Case {
        std::int32_t width, height, resultWidth, resultHeight, fx, fy;
    };
    const std::vector<Case> cases = {{400, 300, 598, 448, 3, 3}, {201, 150, 399, 150, 2, 1}};
    RgbImage source = makeNoise(200, 150, 4);
    for (const Case& c : cases) {
        RgbImage dest{};
        ASSERT_EQ(enlargeImage(&dest, c.width, c.height, &source), 0);
        ASSERT_EQ(dest.width, c.resultWidth);
        ASSERT_EQ(dest.height, c.resultHeight);
        for (std::int32_t y = 0; y < 150; ++y) {
            for (std::int32_t x = 0; x < 200; ++x) {
                for (int channel = 0; channel < 3; ++channel) {
                    ASSERT_EQ(dest.rows[y * c.fy][3 * x * c.fx + channel],
                              source.rows[y][3 * x + channel]);
                }
            }
        }
        EXPECT_EQ(imageBytes(dest), referenceEnlarge(source, c.fx, c.fy));
        rgbImageFree(&dest);
    }
    rgbImageFree(&source);
}

TEST(EnlargeImage, TwoByTwoToAThousand) {
    RgbImage source = makeImage(2, 2, {0, 10, 255, 255, 20, 0, 128, 30, 7, 3, 40, 250});
    RgbImage dest{};
    ASSERT_EQ(enlargeImage(&dest, 1000, 1000, &source), 0);
    EXPECT_EQ(dest.width, 1000);
    EXPECT_EQ(dest.height, 1000);
    EXPECT_EQ(imageBytes(dest), referenceEnlarge(source, 999, 999));
    rgbImageFree(&dest);
    rgbImageFree(&source);
}

TEST(EnlargeImage, MatchesTheBlendFormula) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        const auto sw = static_cast<std::int32_t>(2 + seed % 6);
        const auto sh = static_cast<std::int32_t>(2 + seed * 7 % 5);
        const auto fx = static_cast<std::int32_t>(1 + seed * 3 % 7);
        const auto fy = static_cast<std::int32_t>(1 + seed * 5 % 9);
        SCOPED_TRACE(testing::Message() << sw << "x" << sh << " by " << fx << "," << fy);
        RgbImage source = makeNoise(sw, sh, seed);
        RgbImage dest{};
        // The largest request that gets fx and the smallest that gets fy.
        ASSERT_EQ(enlargeImage(&dest, fx * (sw - 1) + 1, (fy - 1) * (sh - 1) + 2, &source), 0);
        ASSERT_EQ(dest.width, fx * (sw - 1) + 1);
        ASSERT_EQ(dest.height, fy * (sh - 1) + 1);
        EXPECT_EQ(imageBytes(dest), referenceEnlarge(source, fx, fy));
        rgbImageFree(&dest);
        rgbImageFree(&source);
    }
}

TEST(EnlargeImage, FactorProductsBeyond32BitNumerators) {
    // 19,999 x 899 = 17,979,101: 255 times that passes 2^32, so the numerators need 64 bits.
    RgbImage source = makeImage(2, 2, {255, 0, 17, 0, 255, 200, 1, 254, 255, 250, 3, 0});
    RgbImage dest{};
    ASSERT_EQ(enlargeImage(&dest, 20000, 900, &source), 0);
    ASSERT_EQ(dest.width, 20000);
    ASSERT_EQ(dest.height, 900);
    for (std::int32_t y = 0; y < 900; y += 7) {
        for (std::int32_t x = 0; x < 20000; x += 97) {
            for (int channel = 0; channel < 3; ++channel) {
                ASSERT_EQ(dest.rows[y][3 * x + channel], blend(source, 19999, 899, x, y, channel))
                    << x << "," << y;
            }
        }
    }
    EXPECT_EQ(dest.rows[899][1], 254);
    EXPECT_EQ(dest.rows[899][3 * 19999 + 1], 3);
    rgbImageFree(&dest);
    rgbImageFree(&source);
}

TEST(EnlargeImage, OnePixelAxesAreRepeated) {
    struct Case {
        const char* what;
        std::int32_t sourceWidth, sourceHeight;
        std::vector<int> source;
        std::int32_t width, height;
        std::vector<std::vector<int>> rows;
    };
    const std::vector<Case> cases = {
        {"one column",
         1,
         3,
         {0, 100, 255},
         4,
         5,
         {{0, 0, 0, 0},
          {50, 50, 50, 50},
          {100, 100, 100, 100},
          {177, 177, 177, 177},
          {255, 255, 255, 255}}},
        {"one row",
         3,
         1,
         {0, 100, 255},
         5,
         4,
         std::vector<std::vector<int>>(4, {0, 50, 100, 177, 255})},
        {"one pixel", 1, 1, {42}, 3, 2, {{42, 42, 42}, {42, 42, 42}}},
        {"one pixel, nothing requested", 1, 1, {42}, 0, -4, {{42}}},
        {"one column asked for one", 1, 2, {10, 30}, 1, 3, {{10}, {20}, {30}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RgbImage source = makeGreyImage(c.sourceWidth, c.sourceHeight, c.source);
        RgbImage dest{};
        ASSERT_EQ(enlargeImage(&dest, c.width, c.height, &source), 0);
        EXPECT_EQ(greyRows(dest), c.rows);
        rgbImageFree(&dest);
        rgbImageFree(&source);
    }
}

TEST(EnlargeImage, OneColumnOfFiftyToHeightHundred) {
    RgbImage source = makeNoise(1, 50, 9);
    RgbImage dest{};
    ASSERT_EQ(enlargeImage(&dest, 2, 100, &source), 0);
    ASSERT_EQ(dest.width, 2);
    ASSERT_EQ(dest.height, 148);
    for (std::int32_t y = 0; y < 148; ++y) {
        EXPECT_EQ(dest.rows[y][0], dest.rows[y][3]);
        EXPECT_EQ(dest.rows[y][1], dest.rows[y][4]);
        EXPECT_EQ(dest.rows[y][2], dest.rows[y][5]);
        if (y % 3 == 0) {
            EXPECT_EQ(dest.rows[y][0], source.rows[y / 3][0]);
            EXPECT_EQ(dest.rows[y][2], source.rows[y / 3][2]);
        } else {
            // Between source rows a and b: ((3 - k) * a + k * b) / 3.
            const int k = y % 3;
            const int a = source.rows[y / 3][1];
            const int b = source.rows[y / 3 + 1][1];
            EXPECT_EQ(dest.rows[y][1], ((3 - k) * a + k * b) / 3);
        }
    }
    rgbImageFree(&dest);
    rgbImageFree(&source);
}

TEST(EnlargeImage, StatusWords) {
    RgbImage source = makeNoise(200, 150, 2);

    RgbImage failed = source;
    failed.status = 0x10000000;
    RgbImage dest{};
    dest.status = 0x5;
    EXPECT_EQ(enlargeImage(&dest, 400, 300, &failed), statusEnlargeBadSource);
    EXPECT_EQ(dest.status, 0x40000);

    RgbImage empty{};
    empty.width = 0;
    empty.height = 3;
    EXPECT_EQ(enlargeImage(&dest, 4, 4, &empty), 0x40000);
    EXPECT_EQ(dest.status, 0x40000);

    struct Case {
        std::int32_t width, height;
    };
    for (const Case& c : std::vector<Case>{{2147483647, 1}, {100000, 100000}, {1, 2147483647}}) {
        RgbImage refused{};
        EXPECT_EQ(enlargeImage(&refused, c.width, c.height, &source), statusEnlargeAllocFailed);
        EXPECT_EQ(refused.status, 0x80001);
        EXPECT_EQ(refused.rows, nullptr);
    }
    rgbImageFree(&source);
}

}  // namespace
