// GIF loading: the guard's reading of the block structure, its pixel ceiling and byte budget;
// callback order and palette colours; unreadable files; a refused raster.
#include "raster/gif_load.h"

#include <gd.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using testsupport::Bytes;
using testsupport::ScratchDir;
using namespace std::string_literals;

struct GuardRow {
    const char* name;
    std::int32_t screenWidth, screenHeight, tableBits;  // a table of 2 << tableBits colours
    std::string between;                                // between the colour table and the image
    std::int32_t width, height;                         // the image at (0, 0); -1: no image
    std::size_t after, cut;  // zero bytes past the trailer; the file cut to this size (0: whole)
    std::int64_t budget, result, bytesRead;  // budget 0: gifMaxInputBytes; bytesRead 0: not
                                             // checked, -1: before the image descriptor's end
};

// The graphic control extension's first sub-block is read whatever its count, so after
// "21 F9 00" more sub-blocks follow, which may hide a trailer or a huge image's descriptor. Other
// extensions end at their first empty sub-block; stray bytes between blocks are skipped; a
// global colour table is skipped whole (its bytes here end in a huge image's descriptor if not).
const std::string kMixed =
    "\x21\xF9\x04,\xFF\xFF\xFF\x02\xFF\xFF\0\x21\xFE\x0B\0,\0\0\0\0\xFF\xFF\xFF\xFF\0\0"  // control,
                                                                                          // comment
    "\0\x7F\x3A\x21\xFF\x03,,,\x02\xFF\xFF\0"s;  // stray bytes, an extension of two sub-blocks
const std::string kZeros(4981, '\0');
// clang-format off
const GuardRow kGuardRows[] = {
    {"exactly the ceiling", 4096, 4096, 0, "", 4096, 4096, 0, 0, 0, 0, 0},
    {"a huge screen", 65535, 65535, 0, "", 2, 2, 0, 0, 0, 0, 0},
    {"one row more", 65535, 65535, 0, "", 4096, 4097, 0, 0, 0, 2, -1},
    {"one column more", 65535, 65535, 0, "", 4097, 4096, 0, 0, 0, 2, -1},
    {"one row more the other way", 65535, 65535, 0, "", 65535, 257, 0, 0, 0, 2, -1},
    {"no pixels", 4, 4, 0, "", 0, 4, 0, 0, 0, 2, -1},
    {"the 99-byte file: a control hides a trailer", 46340, 46340, 0, "\x21\xF9\0\x3B"s + std::string(59, 'A') + "\0"s, 46340, 46340, 0, 0, 0, 2, -1},
    {"a control hides a huge image", 4, 4, 0, "\x21\xF9\0\x0A,\0\0\0\0\xFF\xFF\xFF\xFF\0\0"s, 4, 4, 0, 0, 0, 0, 0},
    {"mixed blocks, huge", 65535, 65535, 7, kMixed, 40000, 40000, 0, 0, 0, 2, -1},
    {"mixed blocks, small", 65535, 65535, 7, kMixed, 3, 2, 0, 0, 0, 0, 0},
    // libgd reads 34 bytes of a 4 x 4 picture and the stray bytes, up to its LZW data's end.
    {"within the budget", 4, 4, 0, kZeros.substr(0, 65), 4, 4, 0, 0, 100, 0, 99},
    {"exactly the budget", 4, 4, 0, kZeros.substr(0, 66), 4, 4, 0, 0, 100, 0, 100},
    {"one byte over", 4, 4, 0, kZeros.substr(0, 67), 4, 4, 0, 0, 100, 2, 100},
    {"bytes after the picture", 4, 4, 0, kZeros.substr(0, 66), 4, 4, 1000, 0, 100, 0, 100},
    {"the stream ends at the budget", 4, 4, 0, kZeros.substr(0, 67), 4, 4, 0, 100, 100, 0, 100},
    {"endless stray bytes", 4, 4, 0, kZeros, -1, -1, 0, 0, 100, 2, 100},
};
// clang-format on

TEST(DecodeGifStream, FollowsLibgdsBlocksAndStopsAtTheCeilingAndTheBudget) {
    for (const GuardRow& row : kGuardRows) {
        SCOPED_TRACE(row.name);
        Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
        const auto sizes = [&gif](std::int32_t w, std::int32_t h) {
            gif.insert(gif.end(), {std::uint8_t(w), std::uint8_t(w >> 8), std::uint8_t(h),
                                   std::uint8_t(h >> 8)});
        };
        sizes(row.screenWidth, row.screenHeight);
        gif.insert(gif.end(), {static_cast<std::uint8_t>(0x80 | row.tableBits), 0, 0});
        for (int at = 0; at < 3 * (2 << row.tableBits); ++at)
            gif.push_back(at % 6 == 5 ? ',' : 0xFF);
        gif.insert(gif.end(), row.between.begin(), row.between.end());
        std::size_t descriptorEnd = std::numeric_limits<std::size_t>::max();
        if (row.width >= 0) {
            gif.insert(gif.end(), {',', 0, 0, 0, 0});
            sizes(row.width, row.height);
            descriptorEnd = gif.size() + 1;
            gif.insert(gif.end(), {0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B});
        }
        gif.resize(gif.size() + row.after, 0);
        if (row.cut != 0) gif.resize(row.cut);
        std::FILE* stream = fmemopen(gif.data(), gif.size(), "rb");
        ASSERT_NE(stream, nullptr);
        gdImagePtr picture = nullptr;
        std::int64_t bytesRead = -1;
        const GifLimits limits = {gifMaxPixels, row.budget != 0 ? row.budget : gifMaxInputBytes};
        EXPECT_EQ(decodeGifStream(stream, limits, &picture, &bytesRead), row.result);
        std::fclose(stream);
        const auto end = static_cast<std::int64_t>(descriptorEnd);
        EXPECT_TRUE(row.bytesRead > 0 ? bytesRead == row.bytesRead
                                      : row.bytesRead == 0 || bytesRead < end)
            << bytesRead;
        EXPECT_EQ(picture != nullptr, row.result == 0);
        if (picture == nullptr) continue;
        EXPECT_EQ(gdImageSX(picture), row.width);
        EXPECT_EQ(gdImageSY(picture), row.height);
        gdImageDestroy(picture);
    }
}

// A transparent colour changes nothing: its pixels keep their palette colour. A file that
// cannot be opened or decoded calls nothing; loadGifImage adds its bit to the status.
TEST(LoadGifRaster, CallsSizeThenEveryPixelInRowOrderThenEnd) {
    ScratchDir dir;
    testsupport::writeGif(dir.file("a.gif"),
                          {3, 2, {0x0A141E, 0xC81E32, 0x28DC3C, 0x3246F0}, {0, 1, 2, 3, 2, 1}, 1});
    testsupport::writeText(dir.file("notes.gif"), "GIF? no, just a text file\n");
    const auto size = [](void* trace, std::int32_t w, std::int32_t h) {
        *static_cast<std::string*>(trace) += std::to_string(w) + "x" + std::to_string(h);
    };
    const auto pixel = [](void* trace, std::int32_t x, std::int32_t y, std::int32_t r,
                          std::int32_t g, std::int32_t b) {
        char text[64];
        std::snprintf(text, sizeof text, " %d,%d %d %d %d", x, y, r, g, b);
        *static_cast<std::string*>(trace) += text;
    };
    const auto end = [](void* trace) { *static_cast<std::string*>(trace) += " end"; };
    const std::pair<const char*, std::string> cases[] = {
        {"a.gif",
         "3x2 0,0 10 20 30 1,0 200 30 50 2,0 40 220 60 0,1 50 70 240 1,1 40 220 60 2,1 "
         "200 30 50 end"},
        {"missing.gif", "1"},
        {"notes.gif", "2"},
        {"", "2"}};  // "": the folder itself
    for (const auto& [name, expected] : cases) {
        std::string trace;
        const std::int32_t rc = loadGifRaster(dir.file(name).c_str(), size, end, pixel, &trace);
        EXPECT_EQ(rc != 0 ? std::to_string(rc) + trace : trace, expected) << name;
        RgbImage image{0x4, 0, 0, nullptr};  // bits already there stay
        EXPECT_EQ(loadGifImage(&image, dir.file(name).c_str()), rc == 0 ? 0 : 0x10000000) << name;
        EXPECT_EQ(image.status, rc == 0 ? 0 : 0x10000004) << name;
        EXPECT_TRUE(rc != 0 || testsupport::imageBytes(image) ==
                                   Bytes({10, 20, 30, 200, 30, 50, 40, 220, 60, 50, 70, 240, 40,
                                          220, 60, 200, 30, 50}));
        rgbImageFree(&image);
    }
}

// The largest raster block is 1 GiB, so the raster of a picture the decoder accepts is refused
// only when memory runs out: a child process limits its address space so that libgd's 4 MiB
// picture fits and the 12 MiB raster does not. AddressSanitizer's allocator aborts instead of
// refusing, so that part is not tried there.
TEST(LoadGifImage, ARefusedRasterTakesNoPixelsAndIsReported) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator aborts on a refusal";
#endif
    ScratchDir dir;
    testsupport::writeGif(dir.file("big.gif"),
                          {2048, 2048, {0x102030}, std::vector<std::int32_t>(2048 * 2048, 0)});
    EXPECT_TRUE(testsupport::withHeadroom(8 << 20, [&] {
        RgbImage refused{};
        return loadGifImage(&refused, dir.file("big.gif").c_str()) == 0x8000000 &&
               refused.status == 0x8000001 && refused.rows == nullptr;
    }));
}

}  // namespace
