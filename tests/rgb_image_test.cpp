#include "raster/rgb_image.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

std::ptrdiff_t rowStep(const RgbImage& image) { return image.rows[1] - image.rows[0]; }

const std::uint8_t* pastPointers(const RgbImage& image) {
    return reinterpret_cast<const std::uint8_t*>(image.rows) +
           static_cast<std::ptrdiff_t>(image.height) * static_cast<std::ptrdiff_t>(sizeof(std::uint8_t*));
}

TEST(RgbImageAlloc, FiveByThreeHasRowsOfFifteenBytesAfterThePointers) {
    RgbImage image{};
    ASSERT_EQ(rgbImageAlloc(&image, 5, 3), 0);
    EXPECT_EQ(image.status, 0);
    EXPECT_EQ(image.width, 5);
    EXPECT_EQ(image.height, 3);
    EXPECT_EQ(image.rows[0], pastPointers(image));
    EXPECT_EQ(rowStep(image), 15);
    EXPECT_EQ(image.rows[2] - image.rows[1], 15);
    // Every pixel byte is writable (the sanitizers would object otherwise).
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 15; ++x) image.rows[y][x] = static_cast<std::uint8_t>(x);
    }
    rgbImageFree(&image);
    EXPECT_EQ(image.rows, nullptr);
}

struct FillCase {
    std::int32_t width;
    std::int32_t alignment;
    std::int32_t fill;
    std::ptrdiff_t rowBytes;
};

class RowFill : public testing::TestWithParam<FillCase> {};

TEST_P(RowFill, PadsRowsToTheAlignment) {
    const FillCase c = GetParam();
    EXPECT_EQ(rgbImageRowFill(c.width, c.alignment), c.fill);
    RgbImage image{};
    ASSERT_EQ(rgbImageAllocAligned(&image, c.width, 2, c.alignment), 0);
    EXPECT_EQ(rowStep(image), c.rowBytes);
    rgbImageFree(&image);
}

INSTANTIATE_TEST_SUITE_P(Widths, RowFill,
                         testing::Values(FillCase{5, 4, 3, 24}, FillCase{8, 4, 0, 24},
                                         FillCase{1, 4, 3, 12}, FillCase{5, 0, 0, 15},
                                         FillCase{7, 1, 0, 21}));

TEST(RgbImageAlloc, ZeroWidthGivesRowsPointingPastThePointers) {
    RgbImage image{};
    ASSERT_EQ(rgbImageAlloc(&image, 0, 3), 0);
    EXPECT_EQ(image.status, 0);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(image.rows[y], pastPointers(image));
    rgbImageFree(&image);
}

TEST(RgbImageAlloc, ZeroHeightIsAValidImageWithoutRows) {
    RgbImage image{};
    ASSERT_EQ(rgbImageAlloc(&image, 7, 0), 0);
    EXPECT_EQ(image.status, 0);
    EXPECT_NE(image.rows, nullptr);
    rgbImageFree(&image);
    EXPECT_EQ(image.rows, nullptr);
}

TEST(RgbImageAlloc, ABlockTooLargeToSizeIsRefusedLikeTheHeap) {
    constexpr std::int32_t big = std::numeric_limits<std::int32_t>::max();
    RgbImage image{};
    image.status = 0x4000;  // whatever came before is replaced
    EXPECT_EQ(rgbImageAlloc(&image, big, big), 1);
    EXPECT_EQ(image.status, 1);
    EXPECT_EQ(image.rows, nullptr);
    EXPECT_EQ(image.width, big);
    EXPECT_EQ(image.height, big);
    rgbImageFree(&image);  // nothing to release
    EXPECT_EQ(image.status, 1);
}

TEST(RgbImageAlloc, NegativeSizesAreRefused) {
    RgbImage image{};
    EXPECT_EQ(rgbImageAlloc(&image, -1, 4), 1);
    EXPECT_EQ(image.status, 1);
    EXPECT_EQ(rgbImageAlloc(&image, 4, -1), 1);
    EXPECT_EQ(image.rows, nullptr);
}

TEST(RgbImageAlloc, RowsBeyondTwoGigabytesAreNeverShort) {
    // 40000 x 20000 pixels: 2,400,000,000 pixel bytes, more than a signed 32-bit count.
    RgbImage image{};
    if (rgbImageAlloc(&image, 40000, 20000) != 0) {
        EXPECT_EQ(image.status, 1);  // refused outright is fine; short is not
        return;
    }
    EXPECT_EQ(rowStep(image), 120000);
    EXPECT_EQ(image.rows[19999] - image.rows[0], std::ptrdiff_t{19999} * 120000);
    image.rows[19999][3 * 39999 + 2] = 0xAB;  // the very last byte is inside the block
    image.rows[0][0] = 0xCD;
    EXPECT_EQ(image.rows[19999][3 * 39999 + 2], 0xAB);
    rgbImageFree(&image);
}

TEST(RgbImageFree, SecondReleaseAndFailedImagesAreLeftAlone) {
    RgbImage image{};
    ASSERT_EQ(rgbImageAlloc(&image, 2, 2), 0);
    rgbImageFree(&image);
    rgbImageFree(&image);  // a double release would be caught by the sanitizers
    EXPECT_EQ(image.rows, nullptr);
    EXPECT_EQ(image.width, 2);

    std::uint8_t notOwned[16] = {};
    std::uint8_t* fakeRows[1] = {notOwned};
    RgbImage failed{0x800000, 1, 1, fakeRows};
    rgbImageFree(&failed);  // must not release what a failed image names
    EXPECT_EQ(failed.rows, fakeRows);
    EXPECT_EQ(failed.status, 0x800000);
}

TEST(RgbImageAlloc, ReallocatingAFailedRecordClearsItsStatus) {
    RgbImage image{};
    image.status = statusLoadFailed | statusAllocRefused;
    ASSERT_EQ(rgbImageAlloc(&image, 1, 1), 0);
    EXPECT_EQ(image.status, 0);
    rgbImageFree(&image);
}

}  // namespace
