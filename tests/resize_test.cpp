// Target size and dispatch: the sizes derived from a 200 x 150 source, which path made the
// result, the status word of every failure, 1-pixel sources and absurd requests.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "resample/enlarge.h"
#include "resample/reduce.h"
#include "resample/resize.h"
#include "test_support.h"

namespace {

using testsupport::imageBytes;
using testsupport::makeImage;

RgbImage makeNoise(std::int32_t width, std::int32_t height, std::uint32_t seed) {
    std::minstd_rand random(seed);
    std::vector<std::uint8_t> rgb(3 * static_cast<std::size_t>(width) *
                                  static_cast<std::size_t>(height));
    for (auto& byte : rgb)
        byte = static_cast<std::uint8_t>(random() >> 7);
    return makeImage(width, height, rgb);
}

// The bytes of `source` reduced to width x height, after enlarging it to at least that size
// when enlargedWidth is not 0 (the enlargement must come out enlargedWidth x enlargedHeight).
std::vector<std::uint8_t> expectedBytes(const RgbImage& source, std::int32_t width,
                                        std::int32_t height, std::int32_t enlargedWidth,
                                        std::int32_t enlargedHeight) {
    RgbImage enlarged{};
    const RgbImage* from = &source;
    if (enlargedWidth != 0) {
        EXPECT_EQ(enlargeImage(&enlarged, width, height, &source), 0);
        EXPECT_EQ(enlarged.width, enlargedWidth);
        EXPECT_EQ(enlarged.height, enlargedHeight);
        from = &enlarged;
    }
    RgbImage reduced{};
    EXPECT_EQ(reduceImage(&reduced, width, height, from), 0);
    std::vector<std::uint8_t> bytes = imageBytes(reduced);
    rgbImageFree(&reduced);
    rgbImageFree(&enlarged);
    return bytes;
}

struct TargetCase {
    std::int32_t width, height, exactSize;
    std::int32_t targetWidth, targetHeight;
    std::int32_t enlargedWidth, enlargedHeight;  // 0 x 0: reduction only
};

TEST(ResizeImage, TargetsAndPathsForATwoHundredByHundredFiftySource) {
    const std::vector<TargetCase> cases = {
        {40, 0, 1, 40, 30, 0, 0},
        {40, 0, 0, 40, 30, 0, 0},
        {0, 45, 1, 60, 45, 0, 0},
        {0, 45, 0, 60, 45, 0, 0},
        {99, 77, 1, 99, 77, 0, 0},
        {99, 77, 0, 99, 74, 0, 0},
        {400, 100, 0, 133, 100, 0, 0},
        {0, 300, 1, 400, 300, 598, 448},
        {0, 300, 0, 400, 300, 598, 448},
        {200, 150, 1, 200, 150, 0, 0},
        {201, 150, 1, 201, 150, 399, 150},
        {-5, 45, 1, 60, 45, 0, 0},
        {300, 100, 1, 300, 100, 399, 150},
        {400, 1, 1, 400, 1, 598, 150},
        {-2147483647 - 1, 5, 1, 6, 5, 0, 0},
        {200, 300, 0, 200, 150, 0, 0},
        {160, 120, 0, 160, 120, 0, 0},  // equal proportions: the height is recomputed unchanged
    };
    RgbImage source = makeNoise(200, 150, 21);
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " " << c.height << " exact " << c.exactSize);
        RgbImage dest{};
        dest.status = 0x3;
        ASSERT_EQ(resizeImage(&dest, c.width, c.height, &source, c.exactSize), 0);
        EXPECT_EQ(dest.status, 0);
        EXPECT_EQ(dest.width, c.targetWidth);
        EXPECT_EQ(dest.height, c.targetHeight);
        EXPECT_EQ(imageBytes(dest), expectedBytes(source, c.targetWidth, c.targetHeight,
                                                  c.enlargedWidth, c.enlargedHeight));
        rgbImageFree(&dest);
    }
    RgbImage copy{};
    ASSERT_EQ(resizeImage(&copy, 200, 150, &source, 1), 0);
    EXPECT_EQ(imageBytes(copy), imageBytes(source));
    rgbImageFree(&copy);
    rgbImageFree(&source);
}

TEST(ResizeImage, ADerivedSideOfZeroGivesARasterWithoutRows) {
    RgbImage source = makeNoise(200, 150, 3);
    RgbImage dest{};
    ASSERT_EQ(resizeImage(&dest, 1, 0, &source, 1), 0);
    EXPECT_EQ(dest.status, 0);
    EXPECT_EQ(dest.width, 1);
    EXPECT_EQ(dest.height, 0);
    rgbImageFree(&dest);
    rgbImageFree(&source);
}

TEST(ResizeImage, OnePixelSources) {
    struct Case {
        std::int32_t sourceWidth, sourceHeight, width, height;
        std::int32_t targetWidth, targetHeight, enlargedWidth, enlargedHeight;
    };
    const std::vector<Case> cases = {
        {1, 50, 0, 100, 2, 100, 2, 148}, {1, 50, 3, 0, 3, 150, 3, 197},
        {1, 32, 2, 32, 2, 32, 2, 32},    {1, 32, 1, 16, 1, 16, 0, 0},
        {50, 1, 100, 0, 100, 2, 148, 2}, {1, 1, 64, 0, 64, 64, 64, 64},
        {1, 1, 500, 2, 500, 2, 500, 2},  {2, 1, 4, 0, 4, 2, 4, 2},
        {2, 1, 3, 1, 3, 1, 3, 1},        {1, 65535, 500, 2, 500, 2, 500, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceWidth << "x" << c.sourceHeight << " to "
                                        << c.width << " " << c.height);
        RgbImage source = makeNoise(c.sourceWidth, c.sourceHeight, 8);
        RgbImage dest{};
        ASSERT_EQ(resizeImage(&dest, c.width, c.height, &source, 1), 0);
        EXPECT_EQ(dest.width, c.targetWidth);
        EXPECT_EQ(dest.height, c.targetHeight);
        EXPECT_EQ(imageBytes(dest), expectedBytes(source, c.targetWidth, c.targetHeight,
                                                  c.enlargedWidth, c.enlargedHeight));
        rgbImageFree(&dest);
        rgbImageFree(&source);
    }
}

struct FailureCase {
    const char* what;
    std::int32_t sourceWidth, sourceHeight, sourceStatus;
    std::int32_t width, height;
    std::int32_t result;
};

TEST(ResizeImage, EveryFailureLeavesItsOwnStatus) {
    const std::vector<FailureCase> cases = {
        {"failed source", 200, 150, 0x10000000, 40, 0, 0x100000},
        {"failed source comes before the sizes", 200, 150, 0x8000001, 0, -3, 0x100000},
        {"source without columns", 0, 150, 0, 40, 0, 0x100000},
        {"0 and -3", 200, 150, 0, 0, -3, 0x200000},
        {"both zero", 200, 150, 0, 0, 0, 0x200000},
        {"both negative", 200, 150, 0, -2147483647 - 1, -1, 0x200000},
        {"derived width beyond 32 bits", 3, 1, 0, 0, 2147483647, 0x200000},
        {"derived width beyond 32 bits, 4:3", 200, 150, 0, 0, 2147483647, 0x200000},
        {"enlargement beyond 32 bits", 200, 150, 0, 2147483647, 1, 0x400000},
        {"enlargement beyond the block limit", 200, 150, 0, 2147483647, 0, 0x400000},
        {"largest request", 200, 150, 0, 2147483647, 2147483647, 0x400000},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        RgbImage source{};
        if (c.sourceWidth > 0) {
            source = makeNoise(c.sourceWidth, c.sourceHeight, 1);
        } else {
            ASSERT_EQ(rgbImageAlloc(&source, c.sourceWidth, c.sourceHeight), 0);
        }
        RgbImage view = source;
        view.status = c.sourceStatus;
        RgbImage dest{};
        dest.status = 0x6;
        EXPECT_EQ(resizeImage(&dest, c.width, c.height, &view, 1), c.result);
        EXPECT_EQ(dest.status, c.result);
        rgbImageFree(&source);
    }
}

TEST(ResizeImage, ReductionsBoundToStopAreRefusedWithTheReductionsStatus) {
    struct Case {
        std::int32_t sourceWidth, sourceHeight, width, height;
        std::int32_t targetWidth, targetHeight;
    };
    const std::vector<Case> cases = {
        {1, 65535, 64, 0, 64, 4194240},    // enlarged to 64 x 4,259,711 first in a full run
        {1, 65535, 0, 196605, 3, 196605},  // 4 x the height: 262,137 rows
        {1, 65535, 2, 65535, 2, 65535},    // enlarged across only
        {1, 65535, 1, 32767, 1, 32767},    // reduction only
        {1, 65535, 1, 65535, 1, 65535},    // same size
        {5000, 1, 4000, 1, 4000, 1},       // the columns pass the limit
        {4097, 2, 4097, 2, 4097, 2},      {200, 150, 5000, 1, 5000, 1},  // 5,000 x 599 columns
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceWidth << "x" << c.sourceHeight << " to "
                                        << c.width << " " << c.height);
        RgbImage source = makeNoise(c.sourceWidth, c.sourceHeight, 5);
        RgbImage dest{};
        EXPECT_EQ(resizeImage(&dest, c.width, c.height, &source, 1), statusResizeReduceFailed);
        EXPECT_EQ(dest.status, 0x800000);
        EXPECT_EQ(dest.width, c.targetWidth);
        EXPECT_EQ(dest.height, c.targetHeight);
        EXPECT_EQ(dest.rows, nullptr);
        rgbImageFree(&source);
    }
}

TEST(ResizeImage, TheLargestPassingReductionsSucceed) {
    // 4,095 x 4,097 = 16,777,215: the last product that fits.
    RgbImage wide = makeNoise(4097, 2, 6);
    RgbImage dest{};
    ASSERT_EQ(resizeImage(&dest, 4095, 2, &wide, 1), 0);
    EXPECT_EQ(imageBytes(dest), expectedBytes(wide, 4095, 2, 0, 0));
    rgbImageFree(&dest);
    rgbImageFree(&wide);

    RgbImage column = makeNoise(1, 65535, 6);
    ASSERT_EQ(resizeImage(&dest, 1, 256, &column, 1), 0);
    EXPECT_EQ(imageBytes(dest), expectedBytes(column, 1, 256, 0, 0));
    rgbImageFree(&dest);
    rgbImageFree(&column);
}

}  // namespace
