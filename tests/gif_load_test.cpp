// GIF loading: the guard's reading of the block structure, its pixel ceiling and byte budget;
// callback order and palette colours; unreadable files; a refused raster.
#include "raster/gif_load.h"

#include <gd.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "app/convert.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;

// Screen width = height, a global table of 2 << bits colours, the bytes between it and the image
// at (0, 0) of width x height, the result; with a budget below gifMaxInputBytes exactly that
// many bytes are read, else a refusal comes before the descriptor's last byte; the file is cut
// to `cut` bytes (0: whole).
struct GuardRow {
    const char* name;
    int screen, bits;
    std::string between;
    int width, height, result;
    std::int64_t budget = gifMaxInputBytes;
    std::size_t cut = 0;
};

// The graphic control extension's first sub-block is read whatever its count, so after
// "21 F9 00" more sub-blocks follow, which may hide a trailer. Other extensions end at their first
// empty sub-block; stray bytes between blocks are skipped; the global table is skipped whole (its
// bytes, and the commas inside sub-blocks, start a huge image's descriptor if not).
const std::string kMixed =
    "\x21\xF9\x04,\xFF\xFF\xFF\x02\xFF\xFF\0\x21\xFE\x0B\0,\0\0\0\0\xFF\xFF"
    "\xFF\xFF\0\0\0\x7F\x3A\x21\xFF\x03,,,\x02\xFF\xFF\0"s;
// libgd reads 34 bytes of a 4 x 4 picture and the stray bytes, up to its LZW data's end.
const std::string kZeros(67, '\0');
// clang-format off
const GuardRow kGuardRows[] = {
    {"exactly the ceiling", 4096, 0, "", 4096, 4096, 0},
    {"one row more", 65535, 0, "", 4096, 4097, 2},
    {"no pixels", 4, 0, "", 0, 4, 2},
    {"the 99-byte file: a control hides a trailer", 46340, 0, "\x21\xF9\0\x3B"s + std::string(59, 'A') + "\0"s, 46340, 46340, 2},
    {"mixed blocks, huge", 65535, 7, kMixed, 40000, 40000, 2},
    {"mixed blocks, small", 65535, 7, kMixed, 3, 2, 0},
    {"exactly the budget", 4, 0, kZeros.substr(1), 4, 4, 0, 100},
    {"one byte over", 4, 0, kZeros, 4, 4, 2, 100},
    {"the stream ends at the budget", 4, 0, kZeros, 4, 4, 0, 100, 100},
};
// clang-format on

std::string sizes(int w, int h) {
    return std::string{char(w), char(w >> 8), char(h), char(h >> 8)};
}

TEST(DecodeGifStream, FollowsLibgdsBlocksAndStopsAtTheCeilingAndTheBudget) {
    for (const GuardRow& row : kGuardRows) {
        SCOPED_TRACE(row.name);
        std::string gif =
            "GIF89a" + sizes(row.screen, row.screen) + char(0x80 | row.bits) + "\0\0"s;
        for (int at = 1; at <= 6 << row.bits; ++at)
            gif += at % 6 != 0 ? '\xFF' : ',';
        gif += row.between + ",\0\0\0\0"s + sizes(row.width, row.height);
        const auto descriptorEnd = static_cast<std::int64_t>(gif.size()) + 1;
        gif += "\0\x02\x02\x44\x01\0;"s;
        if (row.cut != 0) gif.resize(row.cut);
        std::FILE* stream = fmemopen(gif.data(), gif.size(), "rb");
        ASSERT_NE(stream, nullptr);
        gdImagePtr picture = nullptr;
        std::int64_t read = -1;
        EXPECT_EQ(decodeGifStream(stream, {gifMaxPixels, row.budget}, &picture, &read), row.result);
        std::fclose(stream);
        EXPECT_TRUE(row.budget < gifMaxInputBytes ? read == row.budget
                                                  : row.result == 0 || read < descriptorEnd)
            << read;
        EXPECT_EQ(picture != nullptr, row.result == 0);
        if (picture != nullptr) gdImageDestroy(picture);
    }
}

// A size the check refuses stops libgd inside the descriptor, before the image's data (garbage
// here): the check is asked once, and the conversion of a request refused for that size fails.
TEST(DecodeGifStream, ARefusedSizeCostsNoDecoding) {
    testsupport::ScratchDir dir;
    std::string gif =
        "GIF89a" + sizes(4096, 4096) + "\0\0\0,\0\0\0\0"s + sizes(4096, 4096) + "\0\x08"s;
    gif += std::string(5000, '\xAB') + ";";
    testsupport::writeText(dir.file("g.gif"), gif);
    std::string asked;
    const GifSizeCheck check{[](void* user, std::int32_t w, std::int32_t h) {
                                 *static_cast<std::string*>(user) += sizes(w, h);
                                 return false;
                             },
                             &asked};
    std::FILE* stream = fmemopen(gif.data(), gif.size(), "rb");
    gdImagePtr picture = nullptr;
    std::int64_t read = -1;
    EXPECT_EQ(decodeGifStreamChecked(stream, gifLimits, &check, &picture, &read), 3);
    std::fclose(stream);
    EXPECT_EQ(std::tuple(read, picture, asked), std::tuple(22, nullptr, sizes(4096, 4096)));
    EXPECT_EQ(convertFile(dir.file("g.gif").c_str(), dir.file("g.wbmp").c_str(), 1, 65535), 1);
}

// A palette GIF written by libgd (testsupport::paletteImage); `transparent` names the
// transparent colour (-1: none).
void writeGif(const std::string& path, int width, int height, const std::vector<int>& colours,
              const std::vector<int>& indices, int transparent) {
    gdImagePtr picture = testsupport::paletteImage(width, height, colours, indices);
    gdImageColorTransparent(picture, transparent);
    const bool written = gdImageFile(picture, path.c_str());
    gdImageDestroy(picture);
    ASSERT_TRUE(written);
}

// A transparent colour changes nothing: its pixels keep their palette colour. A file that
// cannot be opened or decoded calls nothing; loadGifImage adds its bit to the status. A refused
// raster (a child whose address space fits libgd's 4 MiB picture, not the 12 MiB raster) takes
// no pixels, while a conversion, which makes no raster of the picture, succeeds there;
// AddressSanitizer's allocator aborts instead of refusing, so it is not tried there.
TEST(LoadGif, CallsSizeThenEveryPixelInRowOrderThenEndAndReportsFailures) {
    testsupport::ScratchDir dir;
    writeGif(dir.file("a.gif"), 3, 2, {0x0A141E, 0xC81E32, 0x28DC3C, 0x3246F0}, {0, 1, 2, 3, 2, 1},
             1);
    testsupport::writeText(dir.file("notes.gif"), "GIF? no, just a text file\n");
    const auto size = [](void* t, int w, int h) {
        *static_cast<std::string*>(t) += std::to_string(w) + "x" + std::to_string(h);
    };
    const auto pixel = [](void* t, int x, int y, int r, int g, int b) {
        for (const int value : {x, y, r, g, b})
            static_cast<std::string*>(t)->append(" ").append(std::to_string(value));
    };
    const auto end = [](void* t) { *static_cast<std::string*>(t) += " end"; };
    const std::pair<const char*, std::string> cases[] = {
        {"a.gif",
         "3x2 0 0 10 20 30 1 0 200 30 50 2 0 40 220 60 0 1 50 70 240 1 1 40 220 60 2 1 200 30 50 "
         "end"},
        {"missing.gif", "1"},
        {"notes.gif", "2"}};
    for (const auto& [name, expected] : cases) {
        std::string trace;
        const std::int32_t rc = loadGifRaster(dir.file(name).c_str(), size, end, pixel, &trace);
        EXPECT_EQ(rc != 0 ? std::to_string(rc) + trace : trace, expected) << name;
        RgbImage image{0x4, 0, 0, nullptr};  // bits already there stay
        EXPECT_EQ(loadGifImage(&image, dir.file(name).c_str()), rc == 0 ? 0 : 0x10000000) << name;
        EXPECT_EQ(image.status, rc == 0 ? 0 : 0x10000004) << name;
        EXPECT_TRUE(rc != 0 || testsupport::imageBytes(image) ==
                                   testsupport::Bytes({10, 20, 30, 200, 30, 50, 40, 220, 60, 50, 70,
                                                       240, 40, 220, 60, 200, 30, 50}));
        rgbImageFree(&image);
    }
    // Kept at its size, a palette picture is dithered at the mean grey of all its pixels: 50 50
    // for columns of grey 100 and 200 (50 D0 if one pixel in four counted as its neighbour).
    writeGif(dir.file("s.gif"), 4, 2, {0x646464, 0xC8C8C8}, {0, 1, 0, 1, 0, 1, 0, 1}, -1);
    EXPECT_EQ(convertFile(dir.file("s.gif").c_str(), dir.file("s.wbmp").c_str(), 0, 0), 0);
    EXPECT_EQ(testsupport::readText(dir.file("s.wbmp")), std::string("\0\0\4\2\x50\x50", 6));
#if !defined(__SANITIZE_ADDRESS__)
    writeGif(dir.file("big.gif"), 2048, 2048, {0x102030}, {}, -1);
    EXPECT_TRUE(testsupport::withHeadroom(8 << 20, [&] {
        RgbImage refused{};
        return loadGifImage(&refused, dir.file("big.gif").c_str()) == 0x8000000 &&
               refused.status == 0x8000001 && refused.rows == nullptr &&
               convertFile(dir.file("big.gif").c_str(), dir.file("big.wbmp").c_str(), 1, 0) == 0;
    }));
#endif
}

}  // namespace
