// The area-averaging reduction: worked results, edge limits, status words, and a comparison
// with the nine-region rule spelled out call by call through accumulateRegion.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "resample/reduce.h"
#include "test_support.h"

namespace {

using testsupport::imageBytes;
using testsupport::makeGreyImage;
using testsupport::makeImage;

// A picture of pseudo-random bytes, red, green and blue drawn separately.
RgbImage makeNoise(std::int32_t width, std::int32_t height, std::uint32_t seed) {
    std::minstd_rand random(seed);
    std::vector<std::uint8_t> rgb(3 * static_cast<std::size_t>(width) *
                                  static_cast<std::size_t>(height));
    for (auto& byte : rgb)
        byte = static_cast<std::uint8_t>(random() >> 7);
    return makeImage(width, height, rgb);
}

std::vector<int> greys(const RgbImage& image) {
    std::vector<int> values;
    for (std::int32_t y = 0; y < image.height; ++y) {
        for (std::int32_t x = 0; x < image.width; ++x)
            values.push_back(image.rows[y][3 * x]);
    }
    return values;
}

// Destination pixel (x, y) computed the long way: the four edges, then the nine calls of
// accumulateRegion in their order, then the division by the area and the clamp.
void referencePixel(const RgbImage& source, std::int32_t dw, std::int32_t dh, std::int32_t x,
                    std::int32_t y, std::uint8_t* out) {
    const std::int64_t sw = source.width;
    const std::int64_t sh = source.height;
    const auto l = static_cast<std::int32_t>(x * sw * 128 / dw);
    const auto r = static_cast<std::int32_t>((x + 1) * sw * 128 / dw);
    const auto t = static_cast<std::int32_t>(y * sh * 128 / dh);
    const auto b = static_cast<std::int32_t>((y + 1) * sh * 128 / dh);
    const std::int32_t lf = l & ~127, lc = lf + 128, rf = r & ~127, rc = rf + 128;
    const std::int32_t tf = t & ~127, tc = tf + 128, bf = b & ~127, bc = bf + 128;
    struct Call {
        std::int32_t left, top, right, bottom;
        std::int64_t weight;
    };
    const Call calls[9] = {
        {lc, tc, rf, bf, std::int64_t{rf - lc} * (bf - tc)},
        {lf, tf, lc, tc, std::int64_t{lc - l} * (tc - t)},
        {rf, tf, rc, tc, std::int64_t{r - rf} * (tc - t)},
        {lf, bf, lc, bc, std::int64_t{lc - l} * (b - bf)},
        {rf, bf, rc, bc, std::int64_t{r - rf} * (b - bf)},
        {lc, tf, rf, tc, std::int64_t{rf - lc} * (tc - t)},
        {lc, bf, rf, bc, std::int64_t{rf - lc} * (b - bf)},
        {lf, tc, lc, bf, std::int64_t{lc - l} * (bf - tc)},
        {rf, tc, rc, bf, std::int64_t{r - rf} * (bf - tc)},
    };
    std::int64_t red = 0, green = 0, blue = 0;
    for (const Call& call : calls) {
        accumulateRegion(&source, call.left, call.top, call.right, call.bottom, &red, &green, &blue,
                         call.weight, source.width, source.height);
    }
    const std::int64_t divisor = (std::int64_t{r - l} * (b - t)) >> 7;
    const std::int64_t sums[3] = {red, green, blue};
    for (int channel = 0; channel < 3; ++channel) {
        const std::int64_t value = sums[channel] / divisor;
        out[channel] = static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
    }
}

std::vector<std::uint8_t> referenceReduce(const RgbImage& source, std::int32_t dw,
                                          std::int32_t dh) {
    std::vector<std::uint8_t> bytes(3 * static_cast<std::size_t>(dw) *
                                    static_cast<std::size_t>(dh));
    for (std::int32_t y = 0; y < dh; ++y) {
        for (std::int32_t x = 0; x < dw; ++x) {
            referencePixel(source, dw, dh, x, y,
                           &bytes[3 * (static_cast<std::size_t>(y) * dw + x)]);
        }
    }
    return bytes;
}

struct GreyCase {
    const char* what;
    std::int32_t sourceWidth, sourceHeight;
    std::vector<int> source;
    std::int32_t width, height;
    std::vector<int> expected;
};

TEST(ReduceImage, WorkedGreyResults) {
    const std::vector<GreyCase> cases = {
        {"mean 15.5 truncated", 2, 1, {10, 21}, 1, 1, {15}},
        {"weights 128 and 64", 3, 1, {0, 255, 255}, 2, 1, {85, 255}},
        {"uniform grey loses a level in column 1",
         6,
         3,
         std::vector<int>(18, 200),
         5,
         2,
         {200, 199, 200, 200, 200, 200, 199, 200, 200, 200}},
        {"a column mean truncated before weighting", 1, 4, {0, 100, 200, 40}, 1, 1, {84}},
        {"two rows of two", 2, 2, {0, 255, 255, 0}, 1, 1, {127}},
    };
    for (const GreyCase& c : cases) {
        SCOPED_TRACE(c.what);
        RgbImage source = makeGreyImage(c.sourceWidth, c.sourceHeight, c.source);
        RgbImage dest{};
        ASSERT_EQ(reduceImage(&dest, c.width, c.height, &source), 0);
        EXPECT_EQ(dest.status, 0);
        EXPECT_EQ(dest.width, c.width);
        EXPECT_EQ(dest.height, c.height);
        EXPECT_EQ(greys(dest), c.expected);
        EXPECT_EQ(imageBytes(dest), referenceReduce(source, c.width, c.height));
        rgbImageFree(&dest);
        rgbImageFree(&source);
    }
}

TEST(ReduceImage, SameSizeIsAByteForByteCopy) {
    for (const auto& size : std::vector<std::pair<int, int>>{{1, 1}, {6, 5}, {37, 3}, {3, 41}}) {
        RgbImage source = makeNoise(size.first, size.second, 7);
        RgbImage dest{};
        ASSERT_EQ(reduceImage(&dest, size.first, size.second, &source), 0);
        EXPECT_EQ(imageBytes(dest), imageBytes(source));
        rgbImageFree(&dest);
        rgbImageFree(&source);
    }
}

TEST(ReduceImage, ChannelsAreComputedIndependently) {
    // Red ramps, green is constant, blue is 0: green and blue must come out unchanged.
    std::vector<std::uint8_t> rgb;
    for (int x = 0; x < 9; ++x)
        rgb.insert(rgb.end(), {static_cast<std::uint8_t>(x * 30), 90, 0});
    RgbImage source = makeImage(9, 1, rgb);
    RgbImage dest{};
    ASSERT_EQ(reduceImage(&dest, 4, 1, &source), 0);
    const std::vector<std::uint8_t> expected = referenceReduce(source, 4, 1);
    EXPECT_EQ(imageBytes(dest), expected);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(dest.rows[0][3 * x + 1], 90);
        EXPECT_EQ(dest.rows[0][3 * x + 2], 0);
    }
    EXPECT_NE(dest.rows[0][0], dest.rows[0][9]);
    rgbImageFree(&dest);
    rgbImageFree(&source);
}

TEST(ReduceImage, MatchesTheNineRegionRuleAtManySizes) {
    // Sizes chosen to give cells below two pixels, tall and wide cells, single rows and
    // columns, and cells spanning the whole source.
    const std::vector<std::pair<int, int>> sources = {{37, 29}, {5, 64}, {64, 5}, {1, 9}, {9, 1}};
    for (const auto& source : sources) {
        RgbImage image = makeNoise(source.first, source.second, 11);
        for (std::int32_t width = 1; width <= source.first; ++width) {
            for (std::int32_t height = 1; height <= source.second; height += 3) {
                SCOPED_TRACE(testing::Message() << source.first << "x" << source.second << " to "
                                                << width << "x" << height);
                RgbImage dest{};
                ASSERT_EQ(reduceImage(&dest, width, height, &image), 0);
                ASSERT_EQ(imageBytes(dest), referenceReduce(image, width, height));
                rgbImageFree(&dest);
            }
        }
        rgbImageFree(&image);
    }
}

TEST(ReduceImage, CellsOfMoreThan65793PixelsGetTheirTrueMean) {
    // 600 x 600 to 1 x 1: 360,000 pixels in one cell, sums far beyond 32 bits.
    struct Case {
        int left, right;  // grey of the left and right halves
        int expected;
    };
    for (const Case& c : std::vector<Case>{{255, 255, 255}, {100, 100, 100}, {0, 200, 99}}) {
        std::vector<int> values;
        for (int y = 0; y < 600; ++y) {
            for (int x = 0; x < 600; ++x)
                values.push_back(x < 300 ? c.left : c.right);
        }
        RgbImage source = makeGreyImage(600, 600, values);
        RgbImage dest{};
        ASSERT_EQ(reduceImage(&dest, 1, 1, &source), 0);
        EXPECT_EQ(greys(dest), std::vector<int>{c.expected});
        EXPECT_EQ(imageBytes(dest), referenceReduce(source, 1, 1));
        rgbImageFree(&dest);
        rgbImageFree(&source);
    }
}

TEST(ReduceImage, DestinationWithoutPixels) {
    RgbImage source = makeNoise(4, 3, 1);
    for (const auto& size : std::vector<std::pair<int, int>>{{0, 3}, {4, 0}, {0, 0}}) {
        RgbImage dest{};
        EXPECT_EQ(reduceImage(&dest, size.first, size.second, &source), 0);
        EXPECT_EQ(dest.status, 0);
        EXPECT_EQ(dest.width, size.first);
        EXPECT_EQ(dest.height, size.second);
        EXPECT_NE(dest.rows, nullptr);
        rgbImageFree(&dest);
    }
    rgbImageFree(&source);
}

TEST(ReduceImage, StopsAtTheFirstEdgeBeyond32Bits) {
    // 5,000 x 4,000 exceeds 16,777,215: (x + 1) * 5,000 * 128 passes 2^31 - 1 at x = 3,355.
    RgbImage source = makeNoise(5000, 1, 3);
    RgbImage dest{};
    EXPECT_EQ(reduceImage(&dest, 4000, 1, &source), 1);
    EXPECT_EQ(dest.status, 0);
    EXPECT_EQ(dest.width, 4000);
    EXPECT_EQ(dest.height, 1);
    std::uint8_t expected[3];
    for (std::int32_t x = 0; x <= 3354; x += 1) {
        referencePixel(source, 4000, 1, x, 0, expected);
        ASSERT_EQ(dest.rows[0][3 * x], expected[0]) << x;
        ASSERT_EQ(dest.rows[0][3 * x + 1], expected[1]) << x;
        ASSERT_EQ(dest.rows[0][3 * x + 2], expected[2]) << x;
    }
    rgbImageFree(&dest);
    EXPECT_EQ(dest.rows, nullptr);
    rgbImageFree(&source);
}

TEST(ReduceImage, RowsBeyond32BitsStopAfterTheRowsThatFit) {
    // 1 x 65,535 to 1 x 300: (y + 1) * 65,535 * 128 fits for y up to 255 only.
    RgbImage source = makeNoise(1, 65535, 5);
    RgbImage dest{};
    EXPECT_EQ(reduceImage(&dest, 1, 300, &source), 1);
    EXPECT_EQ(dest.status, 0);
    std::uint8_t expected[3];
    for (std::int32_t y = 0; y < 256; ++y) {
        referencePixel(source, 1, 300, 0, y, expected);
        ASSERT_EQ(dest.rows[y][0], expected[0]) << y;
    }
    rgbImageFree(&dest);
    rgbImageFree(&source);
}

TEST(ReduceEdgesOverflow, ExactlyWhenAProductPasses16777215) {
    struct Case {
        std::int32_t width, height, sourceWidth, sourceHeight, expected;
    };
    const std::vector<Case> cases = {
        {4000, 1, 5000, 1, 1},         {4095, 4095, 4097, 4097, 0},
        {4095, 4095, 4098, 4097, 1},   {4095, 4095, 4097, 4098, 1},
        {4095, 4095, 4095, 4096, 0},   {1, 16777215, 1, 1, 0},
        {1, 1, 16777216, 1, 1},        {1, 32767, 1, 65535, 1},
        {1, 256, 1, 65535, 0},         {1, 257, 1, 65535, 1},
        {0, 300, 1, 65535, 0},         {5000, 0, 5000, 1, 0},
        {64, 4194240, 64, 4259711, 1}, {1, 1, 1, 1, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(reduceEdgesOverflow(c.width, c.height, c.sourceWidth, c.sourceHeight), c.expected)
            << c.width << "x" << c.height << " from " << c.sourceWidth << "x" << c.sourceHeight;
    }
}

TEST(ReduceImage, StatusWords) {
    RgbImage source = makeNoise(3, 3, 2);

    // A failed source: the bit replaces what the destination held, nothing is allocated.
    RgbImage failed = source;
    failed.status = 0x8000001;
    RgbImage dest{};
    dest.status = 0x7;
    EXPECT_EQ(reduceImage(&dest, 2, 2, &failed), statusReduceBadSource);
    EXPECT_EQ(dest.status, 0x4000);

    // A block too large to allocate: 0x8000 added to the 1 the allocation left.
    RgbImage huge{};
    EXPECT_EQ(reduceImage(&huge, 70000, 70000, &source), statusReduceAllocFailed);
    EXPECT_EQ(huge.status, 0x8001);
    EXPECT_EQ(huge.rows, nullptr);

    RgbImage negative{};
    EXPECT_EQ(reduceImage(&negative, -1, 2, &source), 0x8000);
    EXPECT_EQ(negative.status, 0x8001);

    rgbImageFree(&source);
}

struct RegionCase {
    const char* what;
    std::int32_t left, top, right, bottom;
    std::int64_t weight;
    std::int64_t start;  // every running sum before the call
    std::int64_t red, green, blue;
};

TEST(AccumulateRegion, AddsTheTruncatedMeanTimesTheShiftedWeight) {
    // 4 x 2 picture: red = 10 * (x + 1) + y, green = 7 * x, blue = 200 - 50 * y.
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            rgb.insert(rgb.end(),
                       {static_cast<std::uint8_t>(10 * (x + 1) + y),
                        static_cast<std::uint8_t>(7 * x), static_cast<std::uint8_t>(200 - 50 * y)});
        }
    }
    RgbImage source = makeImage(4, 2, rgb);
    const std::vector<RegionCase> cases = {
        {"one pixel, weight 128 x 128", 0, 0, 128, 128, 16384, 0, 10 * 128, 0, 200 * 128},
        {"sub-pixel bounds fall to whole pixels", 130, 140, 300, 300, 16384, 0, 21 * 128, 7 * 128,
         150 * 128},
        {"two columns, truncated means", 128, 0, 384, 256, 256, 0, (20 + 30 + 21 + 31) / 4 * 2,
         (7 + 14 + 7 + 14) / 4 * 2, (200 + 200 + 150 + 150) / 4 * 2},
        {"the sums grow from where they were", 384, 128, 512, 256, 128, 1000, 1041, 1021, 1150},
        {"right and bottom limited to the source", 256, 0, 1280, 1280, 128 * 3, 0,
         (30 + 40 + 31 + 41) / 4 * 3, (14 + 21 + 14 + 21) / 4 * 3, 175 * 3},
        {"empty once shifted", 130, 0, 250, 256, 99999, 5, 5, 5, 5},
        {"left at the source width", 512, 0, 640, 256, 16384, 5, 5, 5, 5},
        {"top at the source height", 0, 256, 128, 384, 16384, 5, 5, 5, 5},
        {"weight below 128 adds nothing", 0, 0, 512, 256, 127, 5, 5, 5, 5},
    };
    for (const RegionCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::int64_t red = c.start, green = c.start, blue = c.start;
        accumulateRegion(&source, c.left, c.top, c.right, c.bottom, &red, &green, &blue, c.weight,
                         4, 2);
        EXPECT_EQ(red, c.red);
        EXPECT_EQ(green, c.green);
        EXPECT_EQ(blue, c.blue);
    }
    rgbImageFree(&source);
}

TEST(AccumulateRegion, SumsBeyond32Bits) {
    // 300 x 300 white pixels weighted by their whole area: 255 * 11,520,000.
    RgbImage source = makeGreyImage(300, 300, std::vector<int>(90000, 255));
    std::int64_t red = 0, green = 0, blue = 0;
    const std::int64_t side = 300 * 128;
    accumulateRegion(&source, 0, 0, side, side, &red, &green, &blue, side * side, 300, 300);
    EXPECT_EQ(red, std::int64_t{255} * 11520000);
    EXPECT_EQ(green, red);
    EXPECT_EQ(blue, red);
    rgbImageFree(&source);
}

}  // namespace
