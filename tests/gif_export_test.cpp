// GIF export: files read back by libgd, netpbm and ImageMagick, and the results (the viewer's
// tests cut a write short); the region test and the copy that leaves a key colour out.
#include "raster/gif_export.h"

#include <gd.h>
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

// A palette picture drawn from letters: 'a' is the first colour of `colours`, 'b' the next.
gdImagePtr drawLetters(int width, const std::string& letters, const std::vector<int>& colours) {
    gdImagePtr picture = gdImageCreate(width, static_cast<int>(letters.size()) / width);
    for (const int colour : colours)
        gdImageColorAllocate(picture, colour >> 16, colour >> 8 & 0xFF, colour & 0xFF);
    for (std::size_t at = 0; at < letters.size(); ++at)
        gdImageSetPixel(picture, static_cast<int>(at) % width, static_cast<int>(at) / width,
                        letters[at] - 'a');
    return picture;
}

TEST(GifExport, RegionTestAndCopyLeavingOutAKeyColour) {
    gdImagePtr region = drawLetters(4, "aaabaaabaacbbbbb", {0x112233, 0x445566, 0x778899});
    // left, top, right, bottom (exclusive), colour, result
    const std::int32_t cases[][6] = {
        {2, 1, 2, 3, 9, 1}, {0, 0, 2, 3, 0, 1}, {0, 0, 3, 3, 0, 0}, {1, 2, 3, 3, 2, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(regionHasColour(region, c[0], c[1], c[2], c[3], c[4]), c[5]) << c[0] << c[1];
    gdImageDestroy(region);
    // The destination lists the colours in another order, so a copy by index would show.
    const int w = 0xFFFFFF, r = 0xFF0000, g = 0x00FF00, b = 0x0000FF;
    const std::pair<std::int32_t, std::vector<int>> copies[] = {
        {7, {w, w, w, w, w, b, r, g, w, g, b, r}}, {1, {w, w, w, w, w, b, r, w, w, w, b, r}}};
    for (const auto& [key, expected] : copies) {
        gdImagePtr source = drawLetters(5, "abcabcabca", {r, g, b});
        gdImagePtr dest = drawLetters(4, "aaaaaaaaaaaa", {w, b, r});
        copyPixelsExceptColour(dest, source, 1, 1, 2, 0, 3, 2, key);
        copyPixelsExceptColour(dest, source, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 2, 2, key);
        std::vector<int> colours;
        for (int at = 0; at < 12; ++at)
            colours.push_back(gdImageGetTrueColorPixel(dest, at % 4, at / 4));
        EXPECT_EQ(colours, expected) << "key " << key;
        gdImageDestroy(source);
        gdImageDestroy(dest);
    }
}

}  // namespace
