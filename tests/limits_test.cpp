// The size limits: the largest GIF picture decoded, the largest raster block, and files that
// announce a picture beyond them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "raster/gif_load.h"
#include "raster/rgb_image.h"
#include "test_support.h"

namespace {

using testsupport::Bytes;

void putLe16(Bytes* bytes, std::int32_t value) {
    bytes->push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes->push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

// A GIF89a file with the given screen and a first image of the given size at (0, 0) whose pixel
// data is one short LZW run (libgd fills the rest). `between` goes between the global colour
// table, of 2 << tableBits colours, and the image.
Bytes announcingGif(std::int32_t screenWidth, std::int32_t screenHeight, std::int32_t frameWidth,
                    std::int32_t frameHeight, const Bytes& between = {}, int tableBits = 0) {
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
    putLe16(&gif, screenWidth);
    putLe16(&gif, screenHeight);
    gif.insert(gif.end(), {static_cast<std::uint8_t>(0x80 | tableBits), 0, 0});
    // Colour bytes that would read as an image of 65535 x 65535 if the table were not skipped
    // whole: an image introducer, then 0xFF.
    for (int at = 0; at < 3 * (2 << tableBits); ++at)
        gif.push_back(at % 12 == 3 ? ',' : 0xFF);
    gif.insert(gif.end(), between.begin(), between.end());
    gif.push_back(',');
    putLe16(&gif, 0);
    putLe16(&gif, 0);
    putLe16(&gif, frameWidth);
    putLe16(&gif, frameHeight);
    gif.insert(gif.end(), {0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B});
    return gif;
}

struct WalkCount {
    int sizeCalls = 0, endCalls = 0;
    std::int32_t width = -1, height = -1;
    std::int64_t pixels = 0;
};

std::int32_t countWalk(const std::string& path, WalkCount* count) {
    return loadGifRaster(
        path.c_str(),
        [](void* user, std::int32_t width, std::int32_t height) {
            auto* c = static_cast<WalkCount*>(user);
            ++c->sizeCalls;
            c->width = width;
            c->height = height;
        },
        [](void* user) { ++static_cast<WalkCount*>(user)->endCalls; },
        [](void* user, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
            ++static_cast<WalkCount*>(user)->pixels;
        },
        count);
}

TEST(GifCeiling, FirstImagesUpToTheCeilingAreWalkedAndLargerOnesRefusedWithoutACallback) {
    struct Case {
        std::int32_t screenWidth, screenHeight, width, height;
        bool accepted;
    };
    const Case cases[] = {
        {4096, 4096, 4096, 4096, true},       // exactly gifMaxPixels
        {65535, 65535, 2, 2, true},           // a huge screen does not matter
        {65535, 65535, 4096, 4097, false},    // one row more
        {65535, 65535, 4097, 4096, false},    // one column more
        {65535, 65535, 65535, 257, false},    // one row past it the other way
        {65535, 65535, 46340, 46340, false},  // the largest square libgd would build
        {65535, 65535, 65535, 65535, false},
    };
    testsupport::ScratchDir dir;
    const std::string path = dir.file("huge.gif");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        testsupport::writeFile(path,
                               announcingGif(c.screenWidth, c.screenHeight, c.width, c.height));
        WalkCount count;
        if (c.accepted) {
            EXPECT_EQ(countWalk(path, &count), 0);
            EXPECT_EQ(count.sizeCalls, 1);
            EXPECT_EQ(count.width, c.width);
            EXPECT_EQ(count.height, c.height);
            EXPECT_EQ(count.pixels, std::int64_t{c.width} * c.height);
            EXPECT_EQ(count.endCalls, 1);
            continue;
        }
        EXPECT_EQ(countWalk(path, &count), gifLoadNoImage);
        EXPECT_EQ(count.sizeCalls + count.endCalls + count.pixels, 0);
        RgbImage image{};
        EXPECT_EQ(loadGifImage(&image, path.c_str()), statusLoadFailed);
        EXPECT_EQ(image.status, statusLoadFailed);
        EXPECT_EQ(image.rows, nullptr);
    }
}

TEST(GifCeiling, TheFirstImageIsFoundPastExtensionsStrayBytesAndAFullColourTable) {
    // Extension sub-blocks holding image introducers followed by a huge size, and stray bytes,
    // which the decoder skips: only a walk that skips them likewise finds the real first image.
    const Bytes between = {
        0x21, 0xF9, 0x04, ',',  0xFF, 0xFF, 0xFF, 0x00,                          // control
        0x21, 0xFE, 0x0B, 0x00, ',',  0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,  // comment
        0xFF, 0x00, 0x00,                                                        // its end
        0x00, 0x7F,                                                              // stray
        0x21, 0xFF, 0x03, ',',  ',',  ',',  0x02, 0xFF, 0xFF, 0x00};             // two blocks
    testsupport::ScratchDir dir;
    const std::string path = dir.file("huge.gif");
    testsupport::writeFile(path, announcingGif(65535, 65535, 40000, 40000, between, 7));
    WalkCount count;
    EXPECT_EQ(countWalk(path, &count), gifLoadNoImage);
    EXPECT_EQ(count.sizeCalls, 0);

    testsupport::writeFile(path, announcingGif(65535, 65535, 3, 2, between, 7));
    EXPECT_EQ(countWalk(path, &count), 0);
    EXPECT_EQ(count.width, 3);
    EXPECT_EQ(count.height, 2);
    EXPECT_EQ(count.pixels, 6);
}

TEST(RasterCeiling, ABlockOfExactlyTheCeilingIsAllocatedAndOneMorePixelIsRefused) {
    // 2 row pointers + 2 rows of 178,956,968 pixels = 16 + 1,073,741,808 bytes = 2^30.
    RgbImage image{};
    ASSERT_EQ(rgbImageAlloc(&image, 178956968, 2), 0);
    EXPECT_EQ(image.rows[1] - image.rows[0], 3 * 178956968);
    rgbImageFree(&image);

    EXPECT_EQ(rgbImageAlloc(&image, 178956969, 2), 1);
    EXPECT_EQ(image.status, statusAllocRefused);
    EXPECT_EQ(image.rows, nullptr);
}

}  // namespace
