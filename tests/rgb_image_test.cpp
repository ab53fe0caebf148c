// RgbImage: one block of row pointers then rows, refusals, and releases that must do nothing.
#include "raster/rgb_image.h"

#include <gtest/gtest.h>

#include <tuple>

#include "test_support.h"

namespace {

TEST(RgbImageAlloc, SizesRowPointersAndRefusals) {
    // width, height, alignment (0: rgbImageAlloc), result, bytes from one row to the next; the
    // 40000 x 20000 block is beyond 2^31 bytes, the 1 GiB block of 178,956,968 x 2 the largest.
    // clang-format off
    const std::int32_t cases[][5] = {{5, 3, 0, 0, 15}, {5, 2, 4, 0, 24}, {8, 2, 4, 0, 24}, {1, 2, 4, 0, 12},
        {0, 3, 0, 0, 0}, {7, 0, 0, 0, 0}, {40000, 20000, 0, 1, 0}, {INT32_MAX, INT32_MAX, 0, 1, 0},
        {-1, 4, 0, 1, 0}, {4, -1, 0, 1, 0}, {178956969, 2, 0, 1, 0}};
    // clang-format on
    for (const auto& [width, height, alignment, result, rowBytes] : cases) {
        SCOPED_TRACE(testing::Message() << width << "x" << height << " aligned " << alignment);
        RgbImage image{0x4000, 0, 0, nullptr};  // the status is replaced, not kept
        EXPECT_EQ(alignment == 0 ? rgbImageAlloc(&image, width, height)
                                 : rgbImageAllocAligned(&image, width, height, alignment),
                  result);
        EXPECT_EQ(std::tuple(image.status, image.width, image.height),
                  std::tuple(result, width, height));
        // The rows start right after the pointers, one after the other, and end inside the
        // block (the sanitizers check the write).
        for (std::int32_t y = 0; result == 0 && y < height; ++y)
            ASSERT_EQ(image.rows[y],
                      reinterpret_cast<std::uint8_t*>(image.rows + height) + y * rowBytes);
        if (result == 0 && width > 0 && height > 0) image.rows[height - 1][3 * width - 1] = 2;
        rgbImageFree(&image);
        EXPECT_EQ(image.rows, nullptr);
        rgbImageFree(&image);  // a second release does nothing
    }
    std::uint8_t* notOwned[1] = {nullptr};
    RgbImage failed{0x800000, 1, 1, notOwned};
    rgbImageFree(&failed);  // a failed image owns nothing
    EXPECT_EQ(std::tuple(failed.status, failed.rows), std::tuple(0x800000, notOwned));
    RgbImageLayout layout{};
    EXPECT_TRUE(rgbImageLayout(178956968, 2, 0, &layout) && layout.blockBytes == 1u << 30);
#if !defined(__SANITIZE_ADDRESS__)                       // its allocator aborts instead of refusing
    EXPECT_TRUE(testsupport::withHeadroom(1 << 20, [] {  // the heap refuses 300 MB
        RgbImage big{};
        return rgbImageAlloc(&big, 10000, 10000) == 1 && big.status == 1 && big.rows == nullptr;
    }));
#endif
}

}  // namespace
