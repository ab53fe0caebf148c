#include "raster/gif_load.h"

#include <gd.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using testsupport::GifSpec;
using testsupport::ScratchDir;

// Records every callback in order.
struct Trace {
    std::vector<std::string> calls;
};

void traceSize(void* user, std::int32_t width, std::int32_t height) {
    static_cast<Trace*>(user)->calls.push_back("size " + std::to_string(width) + "x" +
                                               std::to_string(height));
}
void tracePixel(void* user, std::int32_t x, std::int32_t y, std::int32_t r, std::int32_t g,
                std::int32_t b) {
    static_cast<Trace*>(user)->calls.push_back(
        "pixel " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(r) + " " +
        std::to_string(g) + " " + std::to_string(b));
}
void traceEnd(void* user) { static_cast<Trace*>(user)->calls.push_back("end"); }

// Distinct red, green and blue in every entry, so that a swapped channel shows.
const std::vector<std::uint32_t> kPalette = {0x0A141E, 0xC81E32, 0x28DC3C, 0x3246F0};

TEST(LoadGifRaster, CallsSizeThenEveryPixelInRowOrderThenEnd) {
    ScratchDir dir;
    const std::string path = dir.file("three-by-two.gif");
    testsupport::writeGif(path, GifSpec{3, 2, kPalette, {0, 1, 2, 3, 2, 1}});
    Trace trace;
    ASSERT_EQ(loadGifRaster(path.c_str(), traceSize, traceEnd, tracePixel, &trace), 0);
    const std::vector<std::string> expected = {
        "size 3x2",           "pixel 0,0 10 20 30",  "pixel 1,0 200 30 50", "pixel 2,0 40 220 60",
        "pixel 0,1 50 70 240", "pixel 1,1 40 220 60", "pixel 2,1 200 30 50", "end"};
    EXPECT_EQ(trace.calls, expected);
}

TEST(LoadGifRaster, MissingAndForeignFilesCallNothing) {
    ScratchDir dir;
    const std::string text = dir.file("notes.gif");
    testsupport::writeText(text, "GIF? no, just a text file\n");
    const std::string png = dir.file("picture.png");
    gdImagePtr picture = gdImageCreate(2, 2);
    gdImageColorAllocate(picture, 1, 2, 3);
    std::FILE* out = std::fopen(png.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    gdImagePng(picture, out);
    std::fclose(out);
    gdImageDestroy(picture);

    struct Case {
        std::string path;
        std::int32_t result;
    };
    for (const Case& c : {Case{dir.file("missing.gif"), 1}, Case{text, 2}, Case{png, 2},
                          Case{dir.path().string(), 2}}) {
        Trace trace;
        EXPECT_EQ(loadGifRaster(c.path.c_str(), traceSize, traceEnd, tracePixel, &trace), c.result)
            << c.path;
        EXPECT_TRUE(trace.calls.empty()) << c.path;
        RgbImage image{};
        image.status = 0x4;  // bits already there stay
        EXPECT_EQ(loadGifImage(&image, c.path.c_str()), 0x10000000) << c.path;
        EXPECT_EQ(image.status, 0x10000004) << c.path;
    }
}

TEST(LoadGifImage, OnePixelKeepsItsPaletteColour) {
    ScratchDir dir;
    const std::string path = dir.file("one.gif");
    testsupport::writeGif(path, GifSpec{1, 1, {0x0A141E, 0xFFFFFF}, {0}});
    RgbImage image{};
    ASSERT_EQ(loadGifImage(&image, path.c_str()), 0);
    EXPECT_EQ(image.status, 0);
    EXPECT_EQ(testsupport::imageBytes(image), (std::vector<std::uint8_t>{10, 20, 30}));
    rgbImageFree(&image);
}

TEST(LoadGifImage, TransparentPixelsCarryTheirPaletteColour) {
    ScratchDir dir;
    const std::string path = dir.file("transparent.gif");
    GifSpec spec{2, 1, {0x11AA22, 0x334455}, {0, 1}};
    spec.transparent = 0;
    testsupport::writeGif(path, spec);
    RgbImage image{};
    ASSERT_EQ(loadGifImage(&image, path.c_str()), 0);
    EXPECT_EQ(testsupport::imageBytes(image),
              (std::vector<std::uint8_t>{0x11, 0xAA, 0x22, 0x33, 0x44, 0x55}));
    rgbImageFree(&image);
}

TEST(LoadGifImage, InterlacedAndPlainStorageGiveTheSameRaster) {
    // Heights of 1 and of 5 or more: libgd mis-decodes interlaced pictures 2 to 4 rows high.
    for (const std::int32_t height : {1, 5, 9, 16}) {
        ScratchDir dir;
        GifSpec spec{7, height, kPalette, {}};
        for (std::int32_t i = 0; i < 7 * height; ++i) spec.indices.push_back((i * 5 + i / 7) % 4);
        testsupport::writeGif(dir.file("plain.gif"), spec);
        spec.interlaced = true;
        testsupport::writeGif(dir.file("interlaced.gif"), spec);
        RgbImage plain{};
        RgbImage interlaced{};
        ASSERT_EQ(loadGifImage(&plain, dir.file("plain.gif").c_str()), 0);
        ASSERT_EQ(loadGifImage(&interlaced, dir.file("interlaced.gif").c_str()), 0);
        EXPECT_EQ(testsupport::imageBytes(plain), testsupport::imageBytes(interlaced)) << height;
        rgbImageFree(&plain);
        rgbImageFree(&interlaced);
    }
}

TEST(LoadGifImage, SampleInterlacedTwinsDecodeIdentically) {
    RgbImage plain{};
    RgbImage interlaced{};
    ASSERT_EQ(loadGifImage(&plain, testsupport::dataPath("gif/giflib-treescap-87a.gif").c_str()), 0);
    ASSERT_EQ(
        loadGifImage(&interlaced, testsupport::dataPath("gif/giflib-treescap-interlaced.gif").c_str()),
        0);
    EXPECT_EQ(testsupport::imageBytes(plain), testsupport::imageBytes(interlaced));
    rgbImageFree(&plain);
    rgbImageFree(&interlaced);
}

TEST(LoadGifImage, TakesTheFirstImageAtItsOwnSize) {
    ScratchDir dir;
    const std::string path = dir.file("anim.gif");
    gdImagePtr first = gdImageCreate(4, 3);
    const int red = gdImageColorAllocate(first, 250, 10, 20);
    gdImageFilledRectangle(first, 0, 0, 3, 2, red);
    gdImagePtr second = gdImageCreate(4, 3);
    const int blue = gdImageColorAllocate(second, 5, 15, 240);
    gdImageFilledRectangle(second, 0, 0, 3, 2, blue);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    gdImageGifAnimBegin(first, out, 1, 0);
    gdImageGifAnimAdd(first, out, 1, 0, 0, 10, gdDisposalNone, nullptr);
    gdImageGifAnimAdd(second, out, 1, 0, 0, 10, gdDisposalNone, nullptr);
    gdImageGifAnimEnd(out);
    std::fclose(out);
    gdImageDestroy(first);
    gdImageDestroy(second);

    RgbImage image{};
    ASSERT_EQ(loadGifImage(&image, path.c_str()), 0);
    ASSERT_EQ(image.width, 4);
    ASSERT_EQ(image.height, 3);
    for (std::int32_t y = 0; y < 3; ++y) {
        for (std::int32_t x = 0; x < 4; ++x) {
            EXPECT_EQ(image.rows[y][3 * x], 250);
            EXPECT_EQ(image.rows[y][3 * x + 2], 20);
        }
    }
    rgbImageFree(&image);
}

TEST(LoadGifImage, RealFilesGiveTheirFirstImageSize) {
    struct Case {
        const char* file;
        std::int32_t width;
        std::int32_t height;
    };
    // Images smaller than their screen and placed at an offset, an animation, a 1 x 65535 strip.
    for (const Case& c : {Case{"ci-car-lct-offset.gif", 300, 320},
                          Case{"imrs-large-combine-1000.gif", 630, 870},
                          Case{"giflib-sample2-11x29-anim.gif", 11, 29},
                          Case{"pixbuf-max-height-1x65535.gif", 1, 65535}}) {
        RgbImage image{};
        ASSERT_EQ(loadGifImage(&image, testsupport::dataPath(std::string("gif/") + c.file).c_str()), 0)
            << c.file;
        EXPECT_EQ(image.width, c.width) << c.file;
        EXPECT_EQ(image.height, c.height) << c.file;
        rgbImageFree(&image);
    }
}

TEST(LoadGifImage, DamagedFilesAreRefused) {
    for (const char* file : {"imrs-oversized-frame.gif", "imrs-truncated-15-bytes.gif",
                             "nsgif-fuzz-gif88a.gif", "nsgif-lzw-oob.gif",
                             "ptest-frames-out-of-bounds.gif"}) {
        RgbImage image{};
        EXPECT_EQ(loadGifImage(&image, testsupport::dataPath(std::string("gif/") + file).c_str()),
                  0x10000000)
            << file;
        EXPECT_NE(image.status & 0x10000000, 0) << file;
    }
}

TEST(LoadGifImage, APictureWithoutPixelsIsRefused) {
    ScratchDir dir;
    const std::string path = dir.file("empty.gif");
    // A screen and an image descriptor of 0 x 0 with an empty LZW stream.
    testsupport::writeFile(path, {'G',  'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0x80, 0, 0,
                                  0,    0,   0,   255, 255, 255, 0x2C, 0, 0, 0, 0, 0, 0, 0,
                                  0,    0,   2,   2,   0x44, 0x01, 0, 0x3B});
    RgbImage image{};
    EXPECT_EQ(loadGifImage(&image, path.c_str()), 0x10000000);
}

TEST(RasterCallbacks, ARefusedRasterTakesNoPixels) {
    RgbImage image{};
    rasterSizeCallback(&image, std::numeric_limits<std::int32_t>::max(), 1 << 30);
    EXPECT_EQ(image.status, 0x8000001);
    EXPECT_EQ(image.rows, nullptr);
    rasterPixelCallback(&image, 0, 0, 1, 2, 3);  // must not write anywhere
    rasterEndCallback(&image);
    rgbImageFree(&image);
    EXPECT_EQ(image.status, 0x8000001);
}

TEST(RasterCallbacks, PixelsKeepTheLowEightBitsOfEachComponent) {
    RgbImage image{};
    rasterSizeCallback(&image, 2, 1);
    ASSERT_EQ(image.status, 0);
    rasterPixelCallback(&image, 1, 0, 0x1FF, 0x100, 0x0AB);
    rasterPixelCallback(&image, 0, 0, 1, 2, 3);
    EXPECT_EQ(testsupport::imageBytes(image), (std::vector<std::uint8_t>{1, 2, 3, 0xFF, 0, 0xAB}));
    rgbImageFree(&image);
}

}  // namespace
