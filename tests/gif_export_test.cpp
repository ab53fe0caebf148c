// GIF export: files written from a palette and a position callback read back through
// loadGifImage, libgd and independent GIF readers; failed writes leave no file of their own;
// the two pixel operations on libgd palette images.
#include <gd.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "raster/gif_export.h"
#include "raster/gif_load.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::ScratchDir;

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
    return p->at.at(static_cast<std::size_t>(p->asked++));
}

// `count` colours, all different.
std::vector<PaletteEntry> distinctPalette(std::int32_t count) {
    std::vector<PaletteEntry> palette;
    for (std::int32_t i = 0; i < count; ++i)
        palette.push_back({(i * 7 + 3) % 256, 255 - i % 256, 40 + i / 256 * 100 + i % 5});
    return palette;
}

// The colour bytes the file must hold: a position outside the first 255 colours gives colour 0.
Bytes expectedRgb(const std::vector<PaletteEntry>& palette, const std::vector<std::int32_t>& at) {
    const std::int64_t taken = std::min<std::int64_t>(std::ssize(palette), 255);
    Bytes rgb;
    for (const std::int32_t p : at) {
        const PaletteEntry& e = palette[p >= 0 && p < taken ? static_cast<std::size_t>(p) : 0];
        for (const std::int32_t v : {e.red, e.green, e.blue})
            rgb.push_back(static_cast<std::uint8_t>(v));
    }
    return rgb;
}

std::int32_t save(const std::string& path, Positions* picture,
                  const std::vector<PaletteEntry>& palette, std::int32_t transparentFirst = 0) {
    const auto height = static_cast<std::int32_t>(std::ssize(picture->at)) / picture->width;
    return saveGifFromPalette(path.c_str(), picture->width, height, positionOf, picture,
                              palette.data(), static_cast<std::int32_t>(palette.size()),
                              transparentFirst);
}

TEST(GifExport, EveryPositionAndStrayPositionReadsBackInEveryReader) {
    // Each peer with the command that tells it is really there: some machines carry a stand-in
    // named convert that is not ImageMagick.
    const std::pair<const char*, const char*> peers[] = {
        {"command -v giftopnm", "giftopnm '%s' >'%s'"},
        {"convert -version 2>/dev/null | grep -q ImageMagick", "convert '%s' ppm:'%s'"}};
    ScratchDir dir;
    const std::string gif = dir.file("out.gif"), ppm = dir.file("out.ppm");
    for (const std::int32_t count : {1, 2, 255, 300}) {
        Positions picture{5, {-1, count, 255, 256, 2147483647}};
        for (std::int32_t p = count - 1; p >= 0 || picture.at.size() % 5 != 0; --p)
            picture.at.push_back(p < 0 ? 0 : p);
        const std::vector<PaletteEntry> palette = distinctPalette(count);
        const std::int32_t transparentFirst = count % 2;  // GIF89a only to mark transparency
        ASSERT_EQ(save(gif, &picture, palette, transparentFirst), 0) << count;
        const Bytes bytes = testsupport::readFile(gif);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6),
                  transparentFirst ? "GIF89a" : "GIF87a");
        EXPECT_TRUE(picture.inOrder && picture.asked == std::ssize(picture.at)) << count;
        const Bytes rgb = expectedRgb(palette, picture.at);
        RgbImage image{};
        ASSERT_EQ(loadGifImage(&image, gif.c_str()), 0);
        EXPECT_EQ(testsupport::imageBytes(image), rgb) << count;
        rgbImageFree(&image);
        const std::string header = "P6\n5 " + std::to_string(picture.at.size() / 5) + "\n255\n";
        Bytes expected(header.begin(), header.end());
        expected.insert(expected.end(), rgb.begin(), rgb.end());
        for (const auto& [probe, format] : peers) {
            if (std::system((std::string(probe) + " >/dev/null").c_str()) != 0) continue;
            char command[1024];
            std::snprintf(command, sizeof command, format, gif.c_str(), ppm.c_str());
            ASSERT_EQ(std::system(command), 0) << command;
            EXPECT_EQ(testsupport::readFile(ppm), expected) << command << " " << count;
        }
    }
}

TEST(GifExport, EqualEntriesStayTwoIndicesAndOnlyTheFirstIsTransparent) {
    const std::vector<PaletteEntry> palette{{0, 128, 255}, {0, 128, 255}, {255, 64, 0}};
    Positions picture{3, {1, 0, 2, 0, 1, 2}};
    ScratchDir dir;
    ASSERT_EQ(save(dir.file("out.gif"), &picture, palette, 1), 0);
    gdImagePtr read = gdImageCreateFromFile(dir.file("out.gif").c_str());
    ASSERT_NE(read, nullptr);
    EXPECT_NE(gdImageGetPixel(read, 1, 0), gdImageGetPixel(read, 0, 0));
    EXPECT_EQ(gdImageGetTransparent(read), gdImageGetPixel(read, 1, 0));
    gdImageDestroy(read);
}

TEST(GifExport, FailuresAskAsTheyShouldAndLeaveNoFile) {
    ScratchDir dir;
    const std::string missing = (dir.path() / "missing" / "out.gif").string();
    const std::string full = dir.file("full.gif");  // a link to /dev/full, never the device
    ASSERT_TRUE(fs::is_character_file("/dev/full"));
    fs::create_symlink("/dev/full", full);
    // Path, palette size, result; an empty palette asks for nothing, a failed open everything.
    const std::tuple<std::string, std::int32_t, std::int32_t> cases[] = {
        {dir.file("none.gif"), 0, 1}, {dir.file("none.gif"), -1, 1}, {missing, 2, 2}, {full, 2, 2}};
    for (const auto& [path, count, result] : cases) {
        Positions picture{4, {0, 1, 1, 0, 1, 0, 0, 1}};
        const std::vector<PaletteEntry> palette = distinctPalette(2);
        EXPECT_EQ(
            saveGifFromPalette(path.c_str(), 4, 2, positionOf, &picture, palette.data(), count, 1),
            result)
            << path << " " << count;
        EXPECT_EQ(picture.asked, result == 2 ? 8 : 0) << path;
        EXPECT_TRUE(picture.inOrder);
    }
    EXPECT_FALSE(fs::exists(dir.file("none.gif")));
    EXPECT_FALSE(fs::exists(dir.path() / "missing"));
}

TEST(GifExport, WriteFailureKeepsAnExistingFileWhole) {
    // A child whose files may not grow beyond 16 bytes fails part way through a 64 x 64 export.
    ScratchDir dir;
    const std::string path = dir.file("cut.gif");
    testsupport::writeFile(path, Bytes(100, 0x47));
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(100);
        Positions picture{64, {}};
        for (std::int32_t i = 0; i < 64 * 64; ++i)
            picture.at.push_back(i * 13 % 40);
        _exit(save(path, &picture, distinctPalette(40)));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    EXPECT_EQ(testsupport::readFile(path), Bytes(100, 0x47));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A palette image `width` wide drawn from letters; 'a' + k is the colour allocated k-th.
gdImagePtr drawPalette(int width, const std::string& letters, const std::vector<int>& colours) {
    gdImagePtr picture = gdImageCreate(width, static_cast<int>(letters.size()) / width);
    for (const int rgb : colours)
        gdImageColorAllocate(picture, rgb >> 16, rgb >> 8 & 0xFF, rgb & 0xFF);
    for (int at = 0; at < static_cast<int>(letters.size()); ++at)
        gdImageSetPixel(picture, at % width, at / width, letters[std::size_t(at)] - 'a');
    return picture;
}

TEST(RegionHasColour, EmptyUniformAndMixedRectangles) {
    gdImagePtr picture = drawPalette(4, "aaabaaabaacbbbbb", {0x112233, 0x445566, 0x778899});
    const std::int32_t cases[][6] = {
        {2, 1, 2, 3, 9, 1},  // empty
        {0, 0, 2, 3, 0, 1},  // uniform; exclusive edges stop before 'c'
        {0, 0, 3, 3, 0, 0},  // last pixel differs
        {1, 2, 3, 3, 2, 0},  // first pixel differs
    };
    for (const auto& c : cases)
        EXPECT_EQ(regionHasColour(picture, c[0], c[1], c[2], c[3], c[4]), c[5]) << c[0] << c[1];
    gdImageDestroy(picture);
}

TEST(CopyPixelsExceptColour, CopiesByColourAndLeavesKeyPixelsOut) {
    // The destination lists the same colours in another order, so a copy by index shows.
    const int w = 0xFFFFFF, r = 0xFF0000, g = 0x00FF00, b = 0x0000FF;
    const std::pair<std::int32_t, std::vector<int>> cases[] = {
        {7, {w, w, w, w, w, b, r, g, w, g, b, r}},  // no pixel has the key
        {1, {w, w, w, w, w, b, r, w, w, w, b, r}},  // 1: green in the source
    };
    for (const auto& [key, expected] : cases) {
        gdImagePtr source = drawPalette(5, "abcabcabca", {r, g, b});
        gdImagePtr dest = drawPalette(4, "aaaaaaaaaaaa", {w, b, r});
        copyPixelsExceptColour(dest, source, 1, 1, 2, 0, 3, 2, key);
        const std::int32_t far = 2147483647;  // coordinates past 2^31 - 1 copy nothing
        copyPixelsExceptColour(dest, source, far, far, far, far, 2, 2, key);
        std::vector<int> colours;
        for (int at = 0; at < 12; ++at)
            colours.push_back(gdImageGetTrueColorPixel(dest, at % 4, at / 4));
        EXPECT_EQ(colours, expected) << "key " << key;
        gdImageDestroy(source);
        gdImageDestroy(dest);
    }
}

}  // namespace
