// Target size and dispatch: the sizes derived from a source, which path made the result, and
// the status word of every failure.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "resample/enlarge.h"
#include "resample/reduce.h"
#include "resample/resize.h"
#include "test_support.h"

namespace {

using testsupport::imageBytes;
using testsupport::makeNoise;

constexpr std::int32_t kMax = 2147483647;

TEST(ResizeImage, TargetsAndPaths) {
    struct Case {
        int sourceWidth, sourceHeight, width, height, exactSize, targetWidth, targetHeight;
        int enlargedWidth, enlargedHeight;  // 0 x 0: reduction only
    };
    // clang-format off
    const Case cases[] = {
        {200, 150, 40, 0, 1, 40, 30, 0, 0},          {200, 150, 0, 45, 1, 60, 45, 0, 0},
        {200, 150, 99, 77, 1, 99, 77, 0, 0},         {200, 150, 99, 77, 0, 99, 74, 0, 0},
        {200, 150, 400, 100, 0, 133, 100, 0, 0},     {200, 150, 0, 300, 0, 400, 300, 598, 448},
        {200, 150, 200, 150, 1, 200, 150, 0, 0},     {200, 150, 201, 150, 1, 201, 150, 399, 150},
        {200, 150, 300, 100, 1, 300, 100, 399, 150}, {200, 150, -kMax - 1, 5, 1, 6, 5, 0, 0},
        {200, 150, 200, 300, 0, 200, 150, 0, 0},     {1, 50, 0, 100, 1, 2, 100, 2, 148},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceWidth << "x" << c.sourceHeight << " to "
                                        << c.width << " " << c.height << " exact " << c.exactSize);
        RgbImage source = makeNoise(c.sourceWidth, c.sourceHeight, 21);
        RgbImage dest{};
        dest.status = 0x3;
        ASSERT_EQ(resizeImage(&dest, c.width, c.height, &source, c.exactSize), 0);
        EXPECT_EQ(dest.status, 0);
        EXPECT_EQ(dest.width, c.targetWidth);
        EXPECT_EQ(dest.height, c.targetHeight);
        // The same bytes as the enlargement (when the path has one) reduced to the target.
        RgbImage enlarged{};
        if (c.enlargedWidth != 0) {
            ASSERT_EQ(enlargeImage(&enlarged, c.targetWidth, c.targetHeight, &source), 0);
            EXPECT_EQ(enlarged.width, c.enlargedWidth);
            EXPECT_EQ(enlarged.height, c.enlargedHeight);
        }
        RgbImage reduced{};
        ASSERT_EQ(reduceImage(&reduced, c.targetWidth, c.targetHeight,
                              c.enlargedWidth != 0 ? &enlarged : &source),
                  0);
        EXPECT_EQ(imageBytes(dest), imageBytes(reduced));
        if (c.targetWidth == c.sourceWidth && c.targetHeight == c.sourceHeight) {
            EXPECT_EQ(imageBytes(dest), imageBytes(source));
        }
        for (RgbImage* image : {&dest, &enlarged, &reduced, &source})
            rgbImageFree(image);
    }
}

TEST(ResizeImage, EveryFailureLeavesItsOwnStatus) {
    struct Case {
        int sourceWidth, sourceHeight, sourceStatus, width, height, result;
        int targetWidth, targetHeight;  // as a refused reduction leaves them (0: untouched)
    };
    // clang-format off
    const Case cases[] = {
        {200, 150, 0x10000000, 40, 0, 0x100000, 0, 0},
        {200, 150, 0x8000001, 0, -3, 0x100000, 0, 0},  // the source comes before the sizes
        {0, 150, 0, 40, 0, 0x100000, 0, 0},           {200, 150, 0, 0, -3, 0x200000, 0, 0},
        {3, 1, 0, 0, kMax, 0x200000, 0, 0},           {200, 150, 0, kMax, 1, 0x400000, 0, 0},
        {200, 150, 0, kMax, kMax, 0x400000, 0, 0},
        // Reductions bound to stop at an edge product, refused before anything is built.
        {5000, 1, 0, 4000, 1, 0x800000, 4000, 1},     {1, 65535, 0, 64, 0, 0x800000, 64, 4194240},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceWidth << "x" << c.sourceHeight << " to "
                                        << c.width << " " << c.height);
        RgbImage source = c.sourceWidth > 0 ? makeNoise(c.sourceWidth, c.sourceHeight, 1)
                                            : RgbImage{0, c.sourceWidth, c.sourceHeight, nullptr};
        RgbImage view = source;
        view.status = c.sourceStatus;
        RgbImage dest{};
        dest.status = 0x6;
        EXPECT_EQ(resizeImage(&dest, c.width, c.height, &view, 1), c.result);
        EXPECT_EQ(dest.status, c.result);
        EXPECT_EQ(dest.width, c.targetWidth);
        EXPECT_EQ(dest.height, c.targetHeight);
        EXPECT_EQ(dest.rows, nullptr);
        rgbImageFree(&source);
    }
}

}  // namespace
