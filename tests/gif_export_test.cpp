// GIF export: files written from a palette and a position callback are read back through
// loadGifImage, libgd and, when installed, independent GIF readers; failed writes leave no file
// of their own behind; the two pixel operations on libgd palette images.
#include <gd.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "raster/gif_export.h"
#include "raster/gif_load.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::ScratchDir;

constexpr std::int32_t int32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t int32Max = std::numeric_limits<std::int32_t>::max();

// A picture as the export asks for it: one palette position per pixel, row by row, and every
// (x, y) onIndex was called with, as y * width + x.
struct Positions {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::int32_t> at;
    std::vector<std::int32_t> asked;
};

std::int32_t positionOf(void* userData, std::int32_t x, std::int32_t y) {
    auto* picture = static_cast<Positions*>(userData);
    picture->asked.push_back(y * picture->width + x);
    return picture->at.at(static_cast<std::size_t>(y * picture->width + x));
}

// A picture `width` wide holding `positions`, its last row filled up with position 0.
Positions pictureOf(std::int32_t width, std::vector<std::int32_t> positions) {
    while (positions.size() % static_cast<std::size_t>(width) != 0)
        positions.push_back(0);
    const auto height = static_cast<std::int32_t>(positions.size()) / width;
    return Positions{width, height, std::move(positions), {}};
}

// True when every pixel was asked for exactly once, in row order.
bool askedInRowOrder(const Positions& picture) {
    std::vector<std::int32_t> order(picture.at.size());
    std::iota(order.begin(), order.end(), 0);
    return picture.asked == order;
}

// `count` colours, all different, with distinct red, green and blue.
std::vector<PaletteEntry> distinctPalette(std::int32_t count) {
    std::vector<PaletteEntry> palette;
    for (std::int32_t i = 0; i < count; ++i)
        palette.push_back({(i * 7 + 3) % 256, 255 - i % 256, 40 + i / 256 * 100 + i % 5});
    return palette;
}

// The red, green, blue bytes the file must hold: the colour at each position, or the first
// colour for a position outside the 255 colours taken.
Bytes expectedRgb(const std::vector<PaletteEntry>& palette, const std::vector<std::int32_t>& at) {
    const auto taken = std::min<std::int64_t>(std::ssize(palette), gifExportMaxColours);
    Bytes rgb;
    for (const std::int32_t position : at) {
        const PaletteEntry& entry =
            palette[position >= 0 && position < taken ? static_cast<std::size_t>(position) : 0];
        for (const std::int32_t v : {entry.red, entry.green, entry.blue})
            rgb.push_back(static_cast<std::uint8_t>(v));
    }
    return rgb;
}

std::int32_t save(const std::string& path, Positions* picture,
                  const std::vector<PaletteEntry>& palette, std::int32_t transparentFirst = 0) {
    return saveGifFromPalette(path.c_str(), picture->width, picture->height, positionOf, picture,
                              palette.data(), static_cast<std::int32_t>(palette.size()),
                              transparentFirst);
}

// The picture's bytes as loadGifImage reads them; empty when it cannot load.
Bytes loadBack(const std::string& path, std::int32_t width, std::int32_t height) {
    RgbImage image{};
    if (loadGifImage(&image, path.c_str()) != 0) return {};
    EXPECT_EQ(image.width, width);
    EXPECT_EQ(image.height, height);
    Bytes rgb = testsupport::imageBytes(image);
    rgbImageFree(&image);
    return rgb;
}

gdImagePtr openWithLibgd(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return nullptr;
    gdImagePtr picture = gdImageCreateFromGif(in);
    std::fclose(in);
    return picture;
}

TEST(GifExport, EveryPositionAndEveryStrayPositionReadsBack) {
    // Palette sizes below, at and above the 255 colours taken; positions outside them stray.
    ScratchDir dir;
    const std::string path = dir.file("out.gif");
    for (const auto& [count, width] : {std::pair{1, 3}, {2, 5}, {255, 17}, {300, 23}}) {
        SCOPED_TRACE(count);
        const std::vector<PaletteEntry> palette = distinctPalette(count);
        std::vector<std::int32_t> positions{-1, count, 255, 256, int32Min, int32Max};
        for (std::int32_t p = count - 1; p >= 0; --p)
            positions.push_back(p);
        Positions picture = pictureOf(width, positions);
        ASSERT_EQ(save(path, &picture, palette), 0);
        EXPECT_TRUE(askedInRowOrder(picture));
        EXPECT_EQ(loadBack(path, picture.width, picture.height), expectedRgb(palette, picture.at));
    }
    // The worked case: red, green, blue; positions -1, 3 and 7 keep the first colour.
    const std::vector<PaletteEntry> palette{{200, 10, 20}, {30, 190, 40}, {50, 60, 180}};
    Positions picture = pictureOf(3, {1, -1, 2, 3, 0, 7});
    ASSERT_EQ(save(path, &picture, palette), 0);
    EXPECT_EQ(loadBack(path, 3, 2), (Bytes{30, 190, 40, 200, 10, 20, 50, 60, 180,  //
                                           200, 10, 20, 200, 10, 20, 200, 10, 20}));
}

TEST(GifExport, TransparentFirstEqualEntriesAndOverwriting) {
    // Entries 0 and 1 are equal but stay separate colours: only position 0 is transparent.
    const std::vector<PaletteEntry> palette{{0, 128, 255}, {0, 128, 255}, {255, 64, 0}};
    Positions picture = pictureOf(3, {1, 0, 2, 0, 1, 2});
    ScratchDir dir;
    const std::string path = dir.file("out.gif");
    testsupport::writeFile(path, Bytes(5000, 0xAB));  // to be overwritten completely
    for (const std::int32_t transparentFirst : {0, 1}) {
        ASSERT_EQ(save(path, &picture, palette, transparentFirst), 0);
        const Bytes bytes = testsupport::readFile(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6),
                  transparentFirst ? "GIF89a" : "GIF87a");
        EXPECT_EQ(bytes.back(), 0x3B);  // the trailer ends the file
        gdImagePtr read = openWithLibgd(path);
        ASSERT_NE(read, nullptr);
        const int first = gdImageGetPixel(read, 1, 0);
        EXPECT_NE(first, gdImageGetPixel(read, 0, 0));
        EXPECT_EQ(gdImageGetTransparent(read), transparentFirst ? first : -1);
        gdImageDestroy(read);
        // The loader ignores transparency: those pixels carry their palette colour.
        EXPECT_EQ(loadBack(path, 3, 2), expectedRgb(palette, picture.at));
    }
}

TEST(GifExport, NoImageGivesOneWithoutAskingOrTouchingAFile) {
    silenceGdMessages();
    const PaletteEntry colour{1, 2, 3};
    ScratchDir dir;
    const std::string fresh = dir.file("none.gif");
    const std::string existing = dir.file("existing.gif");
    testsupport::writeText(existing, "keep me");
    struct Case {
        bool path, callback, palette;
        std::int32_t count, width, height;
    };
    const Case cases[] = {{false, true, true, 1, 2, 1}, {true, false, true, 1, 2, 1},
                          {true, true, false, 1, 2, 1}, {true, true, true, 0, 2, 1},
                          {true, true, true, -1, 2, 1}, {true, true, true, int32Min, 2, 1},
                          {true, true, true, 1, 0, 1},  {true, true, true, 1, 1, -2}};
    for (const Case& c : cases) {
        for (const std::string& target : {fresh, existing}) {
            Positions picture = pictureOf(2, {0, 0});
            EXPECT_EQ(saveGifFromPalette(c.path ? target.c_str() : nullptr, c.width, c.height,
                                         c.callback ? positionOf : nullptr, &picture,
                                         c.palette ? &colour : nullptr, c.count, 1),
                      1)
                << c.count << ", " << c.width << " x " << c.height;
            EXPECT_TRUE(picture.asked.empty());
        }
    }
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(testsupport::readFile(existing), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
}

TEST(GifExport, UnopenableFileGivesTwoAfterAskingEveryPixel) {
    const std::vector<PaletteEntry> palette{{9, 8, 7}, {7, 8, 9}};
    ScratchDir dir;
    const fs::path missing = dir.path() / "missing";
    for (const std::string& path : {(missing / "out.gif").string(), std::string("/dev/full")}) {
        Positions picture = pictureOf(4, {0, 1, 1, 0, 1, 0, 0, 1});
        EXPECT_EQ(save(path, &picture, palette), 2) << path;
        EXPECT_TRUE(askedInRowOrder(picture));
    }
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST(GifExport, WriteFailureRemovesOnlyAFileItCreated) {
    // In a child whose files may not grow beyond 16 bytes, a 64 x 64 export fails part way. An
    // existing file was emptied when opened, but stays in place.
    ScratchDir dir;
    for (const bool existed : {false, true}) {
        const std::string path = dir.file(existed ? "old.gif" : "cut.gif");
        if (existed) testsupport::writeFile(path, Bytes(10, 0x5A));
        const pid_t child = fork();
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{16, 16};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(100);
            Positions picture{64, 64, {}, {}};
            for (std::int32_t i = 0; i < 64 * 64; ++i)
                picture.at.push_back(i * 13 % 40);
            _exit(save(path, &picture, distinctPalette(40)));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
        EXPECT_EQ(fs::exists(path), existed);
        if (existed) {
            EXPECT_LE(fs::file_size(path), 16u);
        }
    }
}

TEST(GifExport, IndependentReadersSeeTheSamePixels) {
    const std::pair<const char*, const char*> readers[] = {
        {"giftopnm", "giftopnm '%s' > '%s' 2>/dev/null"},
        {"convert", "convert '%s' ppm:'%s' 2>/dev/null"}};
    const std::vector<PaletteEntry> palette = distinctPalette(255);
    std::vector<std::int32_t> positions;
    for (std::int32_t i = 0; i < 19 * 13; ++i)
        positions.push_back((i * 37 + i / 19) % 260 - 2);
    Positions picture = pictureOf(19, positions);
    ScratchDir dir;
    const std::string gif = dir.file("peer.gif");
    const std::string ppm = dir.file("peer.ppm");
    ASSERT_EQ(save(gif, &picture, palette), 0);
    Bytes expected{'P', '6', '\n', '1', '9', ' ', '1', '3', '\n', '2', '5', '5', '\n'};
    const Bytes rgb = expectedRgb(palette, picture.at);
    expected.insert(expected.end(), rgb.begin(), rgb.end());
    int ran = 0;
    for (const auto& [program, format] : readers) {
        if (std::system(("command -v " + std::string(program) + " >/dev/null").c_str()) != 0)
            continue;
        ++ran;
        char command[1024];
        std::snprintf(command, sizeof command, format, gif.c_str(), ppm.c_str());
        ASSERT_EQ(std::system(command), 0) << command;
        EXPECT_EQ(testsupport::readFile(ppm), expected) << program;  // a binary PPM
    }
    if (ran == 0)
        GTEST_SKIP() << "neither giftopnm (netpbm) nor convert (ImageMagick) is installed";
}

TEST(GifExport, FixturesKeepTheirTransparencyAndInterlacing) {
    // Five rows, so that the interlaced file stores them out of order.
    testsupport::GifPicture gif{3, 5, {0xC81E0A, 0x14B428, 0x3C46D2}, {}, 2, false};
    gif.indices = {0, 2, 1, 2, 2, 0, 1, 0, 2, 0, 1, 1, 2, 0, 0};
    Bytes expected;
    for (const std::int32_t index : gif.indices) {
        for (const int shift : {16, 8, 0})
            expected.push_back(static_cast<std::uint8_t>(gif.palette[std::size_t(index)] >> shift));
    }
    ScratchDir dir;
    for (const bool interlaced : {false, true}) {
        gif.interlaced = interlaced;
        const std::string path = dir.file(interlaced ? "interlaced.gif" : "plain.gif");
        testsupport::writeGif(path, gif);
        EXPECT_EQ(loadBack(path, 3, 5), expected);
        gdImagePtr read = openWithLibgd(path);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(gdImageGetTransparent(read), gdImageGetPixel(read, 1, 0));
        EXPECT_EQ(gdImageGetInterlaced(read) != 0, interlaced);
        gdImageDestroy(read);
    }
}

// A palette image drawn from rows of letters; letter 'a' + k is the colour allocated k-th.
gdImagePtr drawPalette(const std::vector<std::string>& rows,
                       const std::vector<std::uint32_t>& colours) {
    gdImagePtr picture =
        gdImageCreate(static_cast<int>(rows.at(0).size()), static_cast<int>(rows.size()));
    for (const std::uint32_t rgb : colours) {
        gdImageColorAllocate(picture, static_cast<int>(rgb >> 16),
                             static_cast<int>(rgb >> 8 & 0xFF), static_cast<int>(rgb & 0xFF));
    }
    for (std::size_t y = 0; y < rows.size(); ++y) {
        for (std::size_t x = 0; x < rows[y].size(); ++x)
            gdImageSetPixel(picture, static_cast<int>(x), static_cast<int>(y), rows[y][x] - 'a');
    }
    return picture;
}

TEST(RegionHasColour, Rectangles) {
    gdImagePtr picture =
        drawPalette({"aaab", "aaab", "aacb", "bbbb"}, {0x112233, 0x445566, 0x778899});
    struct Case {
        std::int32_t left, top, right, bottom, colour, expected;
    };
    const Case cases[] = {
        {2, 1, 2, 3, 9, 1},  // empty, colour absent
        {3, 0, 1, 2, 1, 1},  // right left of left
        {2, 2, 3, 3, 2, 1},  // one pixel
        {0, 0, 2, 3, 0, 1},  // exclusive edges stop before 'c'
        {3, 0, 4, 4, 1, 1},  // the right column
        {0, 0, 3, 3, 0, 0},  // last pixel differs
        {1, 2, 3, 3, 2, 0},  // first pixel differs
        {0, 0, 3, 2, 1, 0},  // uniform, other colour asked
    };
    for (const Case& c : cases) {
        EXPECT_EQ(regionHasColour(picture, c.left, c.top, c.right, c.bottom, c.colour), c.expected)
            << c.left << "," << c.top << " to " << c.right << "," << c.bottom;
    }
    gdImageDestroy(picture);
}

TEST(CopyPixelsExceptColour, CopiesByColourAndLeavesKeyPixelsOut) {
    // The destination lists the same colours in another order, so a copy by index shows.
    const std::uint32_t w = 0xFFFFFF, r = 0xFF0000, g = 0x00FF00, b = 0x0000FF;
    const std::pair<std::int32_t, std::vector<std::uint32_t>> cases[] = {
        {7, {w, w, w, w, w, b, r, g, w, g, b, r}},  // no pixel has the key
        {1, {w, w, w, w, w, b, r, w, w, w, b, r}},  // 1: green in the source
    };
    for (const auto& [key, expected] : cases) {
        gdImagePtr source = drawPalette({"abcab", "cabca"}, {r, g, b});
        gdImagePtr dest = drawPalette({"aaaa", "aaaa", "aaaa"}, {w, b, r});
        copyPixelsExceptColour(dest, source, 1, 1, 2, 0, 3, 2, key);
        // Empty rectangles, and one whose coordinates run past 2^31 - 1, copy nothing.
        copyPixelsExceptColour(dest, source, 0, 0, 0, 0, 0, 1, key);
        copyPixelsExceptColour(dest, source, 0, 0, 0, 0, -1, 1, key);
        copyPixelsExceptColour(dest, source, int32Max, int32Max, int32Max, int32Max, 2, 2, key);
        std::vector<std::uint32_t> colours;
        for (int at = 0; at < 12; ++at) {
            const int index = gdImageGetPixel(dest, at % 4, at / 4);
            colours.push_back(static_cast<std::uint32_t>(gdImageRed(dest, index) << 16 |
                                                         gdImageGreen(dest, index) << 8 |
                                                         gdImageBlue(dest, index)));
        }
        EXPECT_EQ(colours, expected) << "key " << key;
        gdImageDestroy(source);
        gdImageDestroy(dest);
    }
}

}  // namespace
