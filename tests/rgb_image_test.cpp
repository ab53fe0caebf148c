// RgbImage: one block of row pointers then rows, refusals, and releases that must do nothing.
#include "raster/rgb_image.h"

#include <gtest/gtest.h>

namespace {

TEST(RgbImageAlloc, SizesRowPointersAndRefusals) {
    constexpr std::int32_t big = 2147483647;
    struct Case {
        std::int32_t width, height, alignment, result;
        std::ptrdiff_t rowBytes;  // from one row to the next
    };
    for (const Case& c : {Case{5, 3, 0, 0, 15}, Case{5, 2, 4, 0, 24}, Case{8, 2, 4, 0, 24},
                          Case{1, 2, 4, 0, 12}, Case{0, 3, 0, 0, 0}, Case{7, 0, 0, 0, 0},
                          Case{40000, 20000, 0, 1, 0},  // beyond 2^31 pixel bytes, never short
                          Case{big, big, 0, 1, 0}, Case{-1, 4, 0, 1, 0}, Case{4, -1, 0, 1, 0}}) {
        SCOPED_TRACE(testing::Message()
                     << c.width << "x" << c.height << " aligned " << c.alignment);
        RgbImage image{};
        image.status = 0x4000;  // replaced, not kept
        const std::int32_t result =
            c.alignment == 0 ? rgbImageAlloc(&image, c.width, c.height)
                             : rgbImageAllocAligned(&image, c.width, c.height, c.alignment);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(image.status, result);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        if (result != 0) {
            EXPECT_EQ(image.rows, nullptr);
            continue;
        }
        // The rows start right after the pointers, one after the other, and end inside the
        // block (the sanitizers check the writes).
        const auto* first = reinterpret_cast<std::uint8_t*>(image.rows + c.height);
        for (std::int32_t y = 0; y < c.height; ++y)
            ASSERT_EQ(image.rows[y], first + y * c.rowBytes);
        if (c.width > 0 && c.height > 0) image.rows[c.height - 1][3 * c.width - 1] = 2;
        rgbImageFree(&image);
        EXPECT_EQ(image.rows, nullptr);
        rgbImageFree(&image);  // a second release does nothing
    }
}

TEST(RgbImageFree, AFailedImageKeepsWhatItNames) {
    std::uint8_t notOwned[16] = {};
    std::uint8_t* fakeRows[1] = {notOwned};
    RgbImage failed{0x800000, 1, 1, fakeRows};
    rgbImageFree(&failed);  // must not release what a failed image names
    EXPECT_EQ(failed.rows, fakeRows);
    EXPECT_EQ(failed.status, 0x800000);
}

}  // namespace
