// GIF export: the pixels libgd reads back and the refusals (the viewer's tests read its GIFs with
// a peer and cut a write short); the region test and the copy that leaves a key colour out.
#include "raster/gif_export.h"

#include <gd.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Palette positions of a 5 x 2 picture, row by row; `asked` counts the calls.
struct Positions {
    std::vector<std::int32_t> at;
    std::int32_t asked = 0;
};

std::int32_t positionOf(void* userData, std::int32_t x, std::int32_t y) {
    auto* p = static_cast<Positions*>(userData);
    ++p->asked;
    return p->at.at(std::size_t(y * 5 + x));
}

// Every pixel of `image` (then destroyed) as 0xAARRGGBB, alpha 127 for the transparent colour.
std::vector<int> takePixels(gdImagePtr image) {
    std::vector<int> pixels;
    for (int at = 0; image != nullptr && at < image->sx * image->sy; ++at)
        pixels.push_back(gdImageGetTrueColorPixel(image, at % image->sx, at / image->sx));
    if (image != nullptr) gdImageDestroy(image);
    return pixels;
}

TEST(GifExport, ColoursTransparencyAndRefusals) {
    // Colour i is 0x400000 + i but colour 1 equals colour 0, yet stays an entry of its own;
    // positions outside the colours taken (at most 255) keep colour 0, transparent for odd counts.
    testsupport::ScratchDir dir;
    // colours, result: refused (nothing asked, no file), no folder (all asked), written
    const std::int32_t cases[][2] = {{0, 1}, {-1, 1}, {3, 2}, {3, 0}, {300, 0}};
    for (const auto& [count, result] : cases) {
        Positions picture{{-1, count, 255, 256, INT32_MAX, 0, 1, 2, 254, count - 1}};
        std::vector<PaletteEntry> palette;
        for (std::int32_t i = 0; i < std::max(count, 2); ++i)
            palette.push_back({64, i >> 8, i == 1 ? 0 : i & 255});
        const std::string gif = dir.file(result == 2 ? "no/x.gif" : "x.gif");
        const std::int32_t rc = saveGifFromPalette(gif.c_str(), 5, 2, positionOf, &picture,
                                                   palette.data(), count, count % 2);
        EXPECT_EQ(std::pair(rc, picture.asked), std::pair(result, result == 1 ? 0 : 10)) << count;
        EXPECT_TRUE(result == 0 || std::filesystem::is_empty(dir.path()));
        if (result != 0) continue;
        std::vector<int> expected;
        for (const std::int32_t p : picture.at) {
            const bool first = p <= 0 || p >= std::min(count, 255);
            expected.push_back(0x400000 + (first ? count % 2 * 0x7F000000 : p == 1 ? 0 : p));
        }
        EXPECT_EQ(takePixels(gdImageCreateFromFile(gif.c_str())), expected) << count;
    }
}

TEST(GifExport, CopyLeavingOutAKeyColourThenRegionTest) {
    // Green (index 1) left out; the destination lists red and blue in another order, so a copy
    // by index would show; it has room for a column and a row past the rectangle, which stay
    // white; nothing is copied at coordinates past INT32_MAX.
    const int w = 0xFFFFFF, r = 0xFF0000, g = 0x00FF00, b = 0x0000FF;
    gdImagePtr source = testsupport::paletteImage(5, 2, {r, g, b}, {0, 1, 2, 0, 1, 2, 0, 1, 2, 0});
    gdImagePtr dest = testsupport::paletteImage(4, 3, {w, b, r}, {});
    copyPixelsExceptColour(dest, source, 0, 0, 2, 0, 3, 2, 1);
    copyPixelsExceptColour(dest, source, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 2, 2, 1);
    gdImageDestroy(source);
    // dest's indices now: 1200 / 0120 / 0000. left, top, right, bottom (exclusive), index, result
    // clang-format off
    const std::int32_t cases[][6] = {
        {2, 1, 2, 3, 9, 1}, {0, 0, 1, 1, 1, 1}, {0, 0, 2, 1, 1, 0}, {3, 0, 4, 2, 1, 0}, {0, 2, 4, 3, 0, 1}};
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(regionHasColour(dest, c[0], c[1], c[2], c[3], c[4]), c[5]) << c[0] << c[1];
    EXPECT_EQ(takePixels(dest), (std::vector<int>{b, r, w, w, w, b, r, w, w, w, w, w}));
}

}  // namespace
