// GIF loading: callback order, palette colours in place, what the decoder ignores, refusals.
#include "raster/gif_load.h"

#include <gd.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using testsupport::GifPicture;
using testsupport::imageBytes;
using testsupport::ScratchDir;
using Trace = std::vector<std::string>;

void traceSize(void* user, std::int32_t width, std::int32_t height) {
    static_cast<Trace*>(user)->push_back(std::to_string(width) + "x" + std::to_string(height));
}
void tracePixel(void* user, std::int32_t x, std::int32_t y, std::int32_t r, std::int32_t g,
                std::int32_t b) {
    static_cast<Trace*>(user)->push_back(std::to_string(x) + "," + std::to_string(y) + " " +
                                         std::to_string(r) + " " + std::to_string(g) + " " +
                                         std::to_string(b));
}
void traceEnd(void* user) {
    static_cast<Trace*>(user)->push_back("end");
}

// Distinct red, green and blue in every entry, so that a swapped channel shows.
const std::vector<std::uint32_t> kPalette = {0x0A141E, 0xC81E32, 0x28DC3C, 0x3246F0};

// A transparent colour changes nothing: its pixels keep their palette colour.
TEST(LoadGifRaster, CallsSizeThenEveryPixelInRowOrderThenEnd) {
    ScratchDir dir;
    const std::string path = dir.file("three-by-two.gif");
    GifPicture gif{3, 2, kPalette, {0, 1, 2, 3, 2, 1}};
    gif.transparent = 1;
    testsupport::writeGif(path, gif);
    Trace trace;
    ASSERT_EQ(loadGifRaster(path.c_str(), traceSize, traceEnd, tracePixel, &trace), 0);
    EXPECT_EQ(trace, (Trace{"3x2", "0,0 10 20 30", "1,0 200 30 50", "2,0 40 220 60",
                            "0,1 50 70 240", "1,1 40 220 60", "2,1 200 30 50", "end"}));
    RgbImage image{};
    ASSERT_EQ(loadGifImage(&image, path.c_str()), 0);
    EXPECT_EQ(image.status, 0);
    // clang-format off
    EXPECT_EQ(imageBytes(image), (std::vector<std::uint8_t>{10, 20, 30, 200, 30, 50, 40, 220,
                                  60, 50, 70, 240, 40, 220, 60, 200, 30, 50}));
    // clang-format on
    rgbImageFree(&image);
}

TEST(LoadGifRaster, UnreadableFilesCallNothing) {
    ScratchDir dir;
    testsupport::writeText(dir.file("notes.gif"), "GIF? no, just a text file\n");
    // A screen and an image descriptor of 0 x 0 with an empty LZW stream.
    // clang-format off
    testsupport::writeFile(dir.file("empty.gif"), {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0x80,
        0, 0, 0, 0, 0, 255, 255, 255, 0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B});
    // clang-format on
    for (const auto& [name, result] :
         {std::pair{"missing.gif", 1}, {"notes.gif", 2}, {"empty.gif", 2}, {"", 2}}) {
        const std::string path = dir.file(name);  // "": the folder itself
        Trace trace;
        EXPECT_EQ(loadGifRaster(path.c_str(), traceSize, traceEnd, tracePixel, &trace), result)
            << name;
        EXPECT_TRUE(trace.empty()) << name;
        RgbImage image{};
        image.status = 0x4;  // bits already there stay
        EXPECT_EQ(loadGifImage(&image, path.c_str()), 0x10000000) << name;
        EXPECT_EQ(image.status, 0x10000004) << name;
    }
}

TEST(LoadGifImage, InterlacingIsIgnored) {
    ScratchDir dir;
    // Heights of 1 and of 5 or more: libgd mis-decodes interlaced pictures 2 to 4 rows high.
    for (const std::int32_t height : {1, 5, 9, 16}) {
        GifPicture gif{7, height, kPalette, {}};
        for (std::int32_t i = 0; i < 7 * height; ++i)
            gif.indices.push_back((i * 5 + i / 7) % 4);
        testsupport::writeGif(dir.file("plain.gif"), gif);
        gif.interlaced = true;
        testsupport::writeGif(dir.file("interlaced.gif"), gif);
        RgbImage plain{}, interlaced{};
        ASSERT_EQ(loadGifImage(&plain, dir.file("plain.gif").c_str()), 0);
        ASSERT_EQ(loadGifImage(&interlaced, dir.file("interlaced.gif").c_str()), 0);
        EXPECT_EQ(imageBytes(plain), imageBytes(interlaced)) << height;
        rgbImageFree(&plain);
        rgbImageFree(&interlaced);
    }
}

TEST(LoadGifImage, TakesTheFirstImageOfSeveral) {
    ScratchDir dir;
    std::FILE* out = std::fopen(dir.file("anim.gif").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    gdImagePtr frames[2] = {gdImageCreate(4, 3), gdImageCreate(4, 3)};
    gdImageColorAllocate(frames[0], 250, 10, 20);  // the first colour fills a new image
    gdImageColorAllocate(frames[1], 5, 15, 240);
    gdImageGifAnimBegin(frames[0], out, 1, 0);
    for (gdImagePtr frame : frames)
        gdImageGifAnimAdd(frame, out, 1, 0, 0, 10, gdDisposalNone, nullptr);
    gdImageGifAnimEnd(out);
    std::fclose(out);
    for (gdImagePtr frame : frames)
        gdImageDestroy(frame);
    RgbImage image{};
    ASSERT_EQ(loadGifImage(&image, dir.file("anim.gif").c_str()), 0);
    EXPECT_EQ(image.width, 4);
    std::vector<std::uint8_t> red;
    for (int i = 0; i < 12; ++i)
        red.insert(red.end(), {250, 10, 20});
    EXPECT_EQ(imageBytes(image), red);
    rgbImageFree(&image);
}

TEST(RasterCallbacks, ARefusedRasterTakesNoPixels) {
    RgbImage image{};
    rasterSizeCallback(&image, std::numeric_limits<std::int32_t>::max(), 1 << 30);
    EXPECT_EQ(image.status, 0x8000001);
    EXPECT_EQ(image.rows, nullptr);
    rasterPixelCallback(&image, 0, 0, 1, 2, 3);  // must not write anywhere
    rasterEndCallback(&image);
    EXPECT_EQ(image.status, 0x8000001);
}

}  // namespace
