// ditherToBlackWhite: grey values, the mean threshold and its clamp, the size of each share of
// the error and the order in which pixels are visited.
#include "mono/dither.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using testsupport::makeGreyImage;
using testsupport::makeImage;

// The picture as rows of 'W' (255, 255, 255) and 'B' (0, 0, 0) joined by '/'; any other pixel
// shows as '?'.
std::string blackWhite(const RgbImage& image) {
    std::string text;
    for (std::int32_t y = 0; y < image.height; ++y) {
        if (y > 0) text += '/';
        const std::uint8_t* pixel = image.rows[y];
        for (std::int32_t x = 0; x < image.width; ++x, pixel += 3) {
            const bool same = pixel[0] == pixel[1] && pixel[1] == pixel[2];
            text += !same ? '?' : pixel[0] == 255 ? 'W' : pixel[0] == 0 ? 'B' : '?';
        }
    }
    return text;
}

std::string ditherGreys(std::int32_t width, std::int32_t height, const std::vector<int>& greys,
                        std::int32_t threshold) {
    RgbImage image = makeGreyImage(width, height, greys);
    if (image.status != 0) return "not allocated";
    ditherToBlackWhite(&image, threshold);
    const std::string text = blackWhite(image);
    rgbImageFree(&image);
    return text;
}

// A 6 x 5 "F" in red on blue, with a green stroke, so that every channel differs.
RgbImage colourfulPicture() {
    const char* const rows[] = {"#####g", "#.....", "####..", "#...g.", "#....."};
    std::vector<std::uint8_t> rgb;
    for (const char* row : rows) {
        for (int x = 0; x < 6; ++x) {
            const char c = row[x];
            const std::uint8_t red = c == '#' ? 220 : 12;
            const std::uint8_t green = c == 'g' ? 240 : 40;
            const std::uint8_t blue = c == '.' ? 200 : 5;
            rgb.insert(rgb.end(), {red, green, blue});
        }
    }
    return makeImage(6, 5, rgb);
}

TEST(Dither, GreyIsTheTruncatedAverageOfTheThreeChannels) {
    // A single pixel at a given threshold turns white exactly when its grey reaches it.
    struct Case {
        std::uint8_t r, g, b;
        std::int32_t grey;
    };
    const Case cases[] = {{10, 20, 30, 20}, {1, 1, 0, 0},    {255, 255, 254, 254},
                          {30, 20, 10, 20}, {0, 0, 2, 0},    {200, 100, 0, 100},
                          {255, 0, 0, 85},  {0, 255, 1, 85}, {128, 128, 129, 128}};
    for (const Case& c : cases) {
        for (const std::int32_t threshold : {c.grey, c.grey + 1}) {
            SCOPED_TRACE(testing::Message()
                         << int{c.r} << "," << int{c.g} << "," << int{c.b} << " at " << threshold);
            RgbImage image = makeImage(1, 1, {c.r, c.g, c.b});
            ditherToBlackWhite(&image, threshold);
            EXPECT_EQ(blackWhite(image), threshold == c.grey ? "W" : "B");
            rgbImageFree(&image);
        }
    }
}

TEST(Dither, UniformPicturesAtTheirMean) {
    struct Case {
        std::int32_t width, height, grey;
        const char* expected;
    };
    const Case cases[] = {
        {4, 2, 0, "WWWW/WWWW"},    // mean 0: everything reaches it, negative shares clamp away
        {4, 2, 255, "WWWW/WWWW"},  // mean 255: no error to spread
        {4, 2, 100, "WBWB/BWBW"}, {4, 2, 128, "WBWB/BWBW"}, {3, 3, 0, "WWW/WWW/WWW"},
        {1, 1, 0, "W"},           {1, 1, 77, "W"},          {1, 1, 255, "W"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " grey " << c.grey);
        const std::vector<int> greys(static_cast<std::size_t>(c.width * c.height), c.grey);
        EXPECT_EQ(ditherGreys(c.width, c.height, greys, -1), c.expected);
    }
}

TEST(Dither, ASinglePixelOfAnyColourComesOutWhite) {
    const std::uint8_t colours[][3] = {{0, 0, 0},   {255, 255, 255}, {1, 1, 0},      {255, 0, 0},
                                       {0, 0, 255}, {10, 20, 30},    {254, 255, 255}};
    for (const auto& colour : colours) {
        RgbImage image = makeImage(1, 1, {colour[0], colour[1], colour[2]});
        ditherToBlackWhite(&image, -1);
        EXPECT_EQ(blackWhite(image), "W")
            << int{colour[0]} << "," << int{colour[1]} << "," << int{colour[2]};
        rgbImageFree(&image);
    }
}

TEST(Dither, ThreeByTwoWithMeanOneHundredTwentyFour) {
    // Mean 748 / 6 = 124. The last pixel reaches exactly 124 only when shares truncate toward
    // zero, each share is clamped before the next, and a tie goes to white.
    EXPECT_EQ(ditherGreys(3, 2, {160, 230, 0, 230, 0, 128}, -1), "WWB/WBW");
    // The same mean from colours whose channels differ.
    RgbImage image = makeImage(3, 2,
                               {200, 150, 130, 255, 235, 200, 0, 1, 1,  //
                                230, 230, 230, 0, 0, 2, 100, 140, 144});
    ditherToBlackWhite(&image, -1);
    EXPECT_EQ(blackWhite(image), "WWB/WBW");
    rgbImageFree(&image);
}

TEST(Dither, AnyNegativeThresholdMeansTheMean) {
    for (const std::int32_t threshold : {-1, -2, -1000, std::numeric_limits<std::int32_t>::min()}) {
        SCOPED_TRACE(threshold);
        EXPECT_EQ(ditherGreys(3, 2, {160, 230, 0, 230, 0, 128}, threshold), "WWB/WBW");
        EXPECT_EQ(ditherGreys(4, 2, std::vector<int>(8, 100), threshold), "WBWB/BWBW");
    }
}

TEST(Dither, GivenThresholdsAreClampedToTheGreyRange) {
    struct Case {
        std::int32_t width, height;
        std::vector<int> greys;
        std::int32_t threshold;
        const char* expected;
    };
    const Case cases[] = {
        {3, 2, {160, 230, 0, 230, 0, 128}, 0, "WWW/WWW"},
        {2, 2, {0, 0, 0, 0}, 0, "WW/WW"},
        {1, 1, {255}, 255, "W"},
        {1, 1, {255}, 256, "W"},  // acts as 255: a tie, so white
        {1, 1, {255}, 300, "W"},
        {1, 1, {255}, std::numeric_limits<std::int32_t>::max(), "W"},
        {1, 1, {254}, 300, "B"},
        {2, 1, {254, 255}, 300, "BW"},  // 255 + 111 clamps to 255 and still ties
        {4, 2, {255, 255, 0, 255, 255, 255, 255, 200}, 300, "WWBW/WWWB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " at " << c.threshold);
        EXPECT_EQ(ditherGreys(c.width, c.height, c.greys, c.threshold), c.expected);
        if (c.threshold > 255) {
            EXPECT_EQ(ditherGreys(c.width, c.height, c.greys, 255), c.expected);
        }
    }
}

TEST(Dither, EachShareReachesItsNeighbourWithItsWeight) {
    // Threshold 128. Each pair sits on the boundary: the neighbour reaches exactly 128 (white)
    // with the right share, one grey less stays black.
    struct Case {
        const char* what;
        std::int32_t width, height;
        std::vector<int> greys;
        const char* expected;
    };
    const Case cases[] = {
        // error 100 to the right: 700 / 16 = 43.
        {"right", 2, 1, {100, 85}, "BW"},
        {"right, one less", 2, 1, {100, 84}, "BB"},
        // error 100 below: 500 / 16 = 31.
        {"below", 1, 2, {100, 97}, "B/W"},
        {"below, one less", 1, 2, {100, 96}, "B/B"},
        // error 100 from (1, 0) to the lower left: 300 / 16 = 18.
        {"lower left", 2, 2, {0, 100, 110, 0}, "BB/WB"},
        {"lower left, one less", 2, 2, {0, 100, 109, 0}, "BB/BB"},
        // error 100 from (0, 0) to the lower right: 100 / 16 = 6; its other neighbours clamp
        // to 255 and pass nothing on.
        {"lower right", 2, 2, {100, 255, 224, 122}, "BW/WW"},
        {"lower right, one less", 2, 2, {100, 255, 224, 121}, "BW/WB"},
        // error -55 to the right: -385 / 16 = -24, truncated toward zero (not -25).
        {"negative, truncated", 2, 1, {200, 152}, "WW"},
        {"negative, one less", 2, 1, {200, 151}, "WB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ditherGreys(c.width, c.height, c.greys, 128), c.expected);
    }
}

TEST(Dither, EveryRowIsVisitedLeftToRight) {
    // (0, 1) is visited before (1, 1) and pushes -24 into it: 130 falls to 106, black. Visiting
    // the second row right to left would leave 130 white.
    EXPECT_EQ(ditherGreys(2, 2, {0, 0, 200, 130}, 128), "BB/WB");
    EXPECT_EQ(ditherGreys(3, 3, {0, 0, 0, 0, 0, 0, 0, 200, 130}, 128), "BBB/BBB/BWB");
}

TEST(Dither, EveryPixelEndsBlackOrWhiteInAllThreeChannels) {
    for (const std::int32_t threshold : {-1, 0, 50, 128, 255, 1000}) {
        SCOPED_TRACE(threshold);
        RgbImage image = colourfulPicture();
        ditherToBlackWhite(&image, threshold);
        EXPECT_EQ(blackWhite(image).find('?'), std::string::npos) << blackWhite(image);
        rgbImageFree(&image);
    }
}

TEST(Dither, AColourPictureDithersLikeItsGreys) {
    // Greys of the colours: '#' (220, 40, 5) is 88, '.' (12, 40, 200) is 84, 'g' (12, 240, 5)
    // is 85. Green and blue must play no part beyond the grey.
    const std::vector<int> greys = {88, 88, 88, 88, 88, 85, 88, 84, 84, 84, 84, 84, 88, 88, 88,
                                    88, 84, 84, 88, 84, 84, 84, 85, 84, 88, 84, 84, 84, 84, 84};
    const std::string expected = ditherGreys(6, 5, greys, -1);
    EXPECT_EQ(expected.find('?'), std::string::npos);
    RgbImage image = colourfulPicture();
    ditherToBlackWhite(&image, -1);
    EXPECT_EQ(blackWhite(image), expected);
    rgbImageFree(&image);
}

TEST(Dither, PicturesWithoutPixelsAreLeftUntouched) {
    // Records whose rows point at real bytes, so that any write would show.
    std::uint8_t bytes[2][9];
    std::memset(bytes, 0x5A, sizeof bytes);
    std::uint8_t* rows[2] = {bytes[0], bytes[1]};
    for (const auto& size : {std::pair{0, 2}, std::pair{3, 0}, std::pair{0, 0}}) {
        SCOPED_TRACE(testing::Message() << size.first << " x " << size.second);
        RgbImage image{0, size.first, size.second, rows};
        ditherToBlackWhite(&image, -1);
        ditherToBlackWhite(&image, 100);
        EXPECT_EQ(image.width, size.first);
        EXPECT_EQ(image.height, size.second);
        EXPECT_EQ(image.rows, rows);
        for (const auto& row : bytes) {
            for (const std::uint8_t byte : row)
                ASSERT_EQ(byte, 0x5A);
        }
    }
}

TEST(Dither, OnlyTheFirstThreeBytesPerPixelOfARowAreTouched) {
    // Rows longer than the picture: the bytes beyond 3 * width stay as they were.
    std::uint8_t bytes[2][8];
    std::memset(bytes, 0x5A, sizeof bytes);
    const std::uint8_t greys[4] = {10, 200, 200, 10};
    for (int i = 0; i < 4; ++i)
        std::memset(&bytes[i / 2][3 * (i % 2)], greys[i], 3);
    std::uint8_t* rows[2] = {bytes[0], bytes[1]};
    RgbImage image{0, 2, 2, rows};
    ditherToBlackWhite(&image, -1);
    EXPECT_EQ(blackWhite(image), "BW/WB");
    for (const auto& row : bytes) {
        EXPECT_EQ(row[6], 0x5A);
        EXPECT_EQ(row[7], 0x5A);
    }
}

TEST(Dither, TheMeanOfAVeryLargePictureIsExact) {
    // 4105 x 4104 pixels: 255 times their count exceeds 2^32, so a 32-bit sum (signed or not)
    // would wrap and bring the threshold down to 0. Every pixel is 255 but the first, 200; the
    // true mean is 254, so that first pixel, and it alone, turns black.
    const std::int32_t width = 4105;
    const std::int32_t height = 4104;
    RgbImage image{};
    ASSERT_EQ(rgbImageAlloc(&image, width, height), 0);
    for (std::int32_t y = 0; y < height; ++y) {
        std::memset(image.rows[y], 255, static_cast<std::size_t>(3 * width));
    }
    std::memset(image.rows[0], 200, 3);
    ditherToBlackWhite(&image, -1);
    EXPECT_EQ(image.rows[0][0], 0);
    std::int64_t blackPixels = 0;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x)
            blackPixels += image.rows[y][3 * x] == 0 ? 1 : 0;
    }
    EXPECT_EQ(blackPixels, 1);
    rgbImageFree(&image);
}

}  // namespace
