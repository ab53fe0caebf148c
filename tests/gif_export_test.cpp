// GIF export: files read back by libgd, netpbm and ImageMagick, and the results (the viewer's
// tests cut a write short).
#include "raster/gif_export.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "test_support.h"

namespace {

// One palette position per pixel, row by row; `asked` counts the calls, `inOrder` stays true
// while they come in row order.
struct Positions {
    std::int32_t width;
    std::vector<std::int32_t> at;
    std::int32_t asked = 0;
    bool inOrder = true;
};

std::int32_t positionOf(void* userData, std::int32_t x, std::int32_t y) {
    auto* p = static_cast<Positions*>(userData);
    p->inOrder = p->inOrder && y * p->width + x == p->asked;
    return p->at.at(std::size_t(p->asked++));
}

TEST(GifExport, EveryPositionReadsBackInEveryReader) {
    // Positions outside the first 255 colours give the first colour; the second colour equals
    // the first but stays an entry of its own; odd counts make the first colour transparent.
    testsupport::ScratchDir dir;
    const std::string gif = dir.file("out.gif"), ppmPath = dir.file("out.ppm");
    const std::string peers[] = {
        "command -v giftopnm >/dev/null || exit 0; giftopnm " + gif,
        "convert -version 2>/dev/null | grep -q ImageMagick || exit 0; convert " + gif + " ppm:-"};
    for (const std::int32_t count : {1, 2, 255, 300}) {
        Positions picture{5, {-1, count, 255, 256, INT32_MAX}};
        for (std::int32_t p = count - 1; p >= 0 || picture.at.size() % 5 != 0; --p)
            picture.at.push_back(std::max(p, 0));
        std::vector<PaletteEntry> palette;
        for (std::int32_t i = 0; i < count; ++i)
            palette.push_back({(i * 7 + 3) % 256, 255 - i % 256, 40 + i / 256 * 100 + i % 5});
        if (count > 1) palette[1] = palette[0];
        const auto rows = std::int32_t(picture.at.size() / 5);
        ASSERT_EQ(saveGifFromPalette(gif.c_str(), 5, rows, positionOf, &picture, palette.data(),
                                     count, count % 2),
                  0);
        EXPECT_TRUE(picture.inOrder && picture.asked == 5 * rows) << count;
        gdImagePtr image = gdImageCreateFromFile(gif.c_str());
        ASSERT_NE(image, nullptr);
        std::string ppm = "P6\n5 " + std::to_string(rows) + "\n255\n";
        int indices[2] = {-1, -1};  // of positions 0 and 1
        for (std::size_t at = 0; at < picture.at.size(); ++at) {
            const std::int32_t p = picture.at[at];
            const PaletteEntry& e =
                palette[p >= 0 && p < std::min(count, 255) ? std::size_t(p) : 0];
            ppm += {char(e.red), char(e.green), char(e.blue)};
            const int index = gdImageGetPixel(image, int(at % 5), int(at / 5));
            EXPECT_EQ(std::tuple(gdImageRed(image, index), gdImageGreen(image, index),
                                 gdImageBlue(image, index)),
                      std::tuple(e.red, e.green, e.blue))
                << count << " at " << at;
            if (p == 0 || p == 1) indices[p] = index;
        }
        EXPECT_EQ(gdImageGetTransparent(image), count % 2 ? indices[0] : -1);
        EXPECT_TRUE(count == 1 || indices[0] != indices[1]);
        gdImageDestroy(image);
        for (const std::string& peer : peers) {
            ASSERT_EQ(std::system(("(" + peer + ") >" + ppmPath).c_str()), 0) << peer;
            const testsupport::Bytes out = testsupport::readFile(ppmPath);
            EXPECT_TRUE(out.empty() || out == testsupport::Bytes(ppm.begin(), ppm.end())) << peer;
        }
    }
}

TEST(GifExport, NoImageAsksForNothingAndAFailedOpenAsksForEverything) {
    testsupport::ScratchDir dir;
    const PaletteEntry two[2] = {{0, 0, 0}, {9, 9, 9}};
    const std::tuple<std::string, std::int32_t, std::int32_t, std::int32_t> cases[] = {
        {"none.gif", 0, 1, 0}, {"none.gif", -1, 1, 0}, {"no/out.gif", 2, 2, 8}};
    for (const auto& [name, count, result, asked] : cases) {
        Positions picture{4, std::vector<std::int32_t>(8, 1)};
        EXPECT_EQ(
            saveGifFromPalette(dir.file(name).c_str(), 4, 2, positionOf, &picture, two, count, 1),
            result)
            << name << " " << count;
        EXPECT_EQ(picture.asked, asked);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
