// GIF export: files written from a palette and a position callback are read back through
// loadGifImage, libgd and, when installed, independent GIF readers; failed writes leave no file
// of their own behind; the two pixel operations on libgd palette images.
#include <gd.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <ostream>
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

// A picture as the export asks for it: one palette position per pixel, row by row, and a
// record of every (x, y) that onIndex was called with.
struct Positions {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::int32_t> at;
    std::vector<std::pair<std::int32_t, std::int32_t>> asked;
};

std::int32_t positionOf(void* userData, std::int32_t x, std::int32_t y) {
    auto* picture = static_cast<Positions*>(userData);
    picture->asked.emplace_back(x, y);
    return picture->at.at(static_cast<std::size_t>(y * picture->width + x));
}

// Every pixel in row order, top row first, each row from the left.
std::vector<std::pair<std::int32_t, std::int32_t>> rowOrder(std::int32_t width,
                                                            std::int32_t height) {
    std::vector<std::pair<std::int32_t, std::int32_t>> order;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x)
            order.emplace_back(x, y);
    }
    return order;
}

// `count` colours, all different, with distinct red, green and blue.
std::vector<PaletteEntry> distinctPalette(std::int32_t count) {
    std::vector<PaletteEntry> palette;
    for (std::int32_t i = 0; i < count; ++i) {
        palette.push_back({(i * 7 + 3) % 256, 255 - i % 256, 40 + i / 256 * 100 + i % 5});
    }
    return palette;
}

// The red, green, blue bytes the file must hold: the colour at each position, or the first
// colour for a position outside the colours taken.
Bytes expectedRgb(const std::vector<PaletteEntry>& palette, const std::vector<std::int32_t>& at) {
    const auto taken = static_cast<std::int32_t>(
        std::min<std::size_t>(palette.size(), static_cast<std::size_t>(gifExportMaxColours)));
    Bytes rgb;
    for (const std::int32_t position : at) {
        const PaletteEntry& entry = position >= 0 && position < taken
                                        ? palette[static_cast<std::size_t>(position)]
                                        : palette[0];
        rgb.push_back(static_cast<std::uint8_t>(entry.red));
        rgb.push_back(static_cast<std::uint8_t>(entry.green));
        rgb.push_back(static_cast<std::uint8_t>(entry.blue));
    }
    return rgb;
}

// The picture's bytes as loadGifImage reads them, with its size; empty when it cannot load.
struct Loaded {
    std::int32_t result = -1;
    std::int32_t width = 0;
    std::int32_t height = 0;
    Bytes rgb;
};

Loaded loadBack(const std::string& path) {
    Loaded loaded;
    RgbImage image{};
    loaded.result = loadGifImage(&image, path.c_str());
    if (loaded.result != 0) return loaded;
    loaded.width = image.width;
    loaded.height = image.height;
    loaded.rgb = testsupport::imageBytes(image);
    rgbImageFree(&image);
    return loaded;
}

gdImagePtr openWithLibgd(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return nullptr;
    gdImagePtr picture = gdImageCreateFromGif(in);
    std::fclose(in);
    return picture;
}

std::string firstSix(const std::string& path) {
    const Bytes bytes = testsupport::readFile(path);
    return std::string(bytes.begin(), bytes.begin() + std::min<std::size_t>(6, bytes.size()));
}

// A picture `width` wide holding `positions`, its last row filled up with position 0.
Positions pictureOf(std::int32_t width, std::vector<std::int32_t> positions) {
    Positions picture;
    picture.width = width;
    while (positions.size() % static_cast<std::size_t>(width) != 0)
        positions.push_back(0);
    picture.height = static_cast<std::int32_t>(positions.size() / static_cast<std::size_t>(width));
    picture.at = std::move(positions);
    return picture;
}

std::int32_t save(const std::string& path, Positions* picture,
                  const std::vector<PaletteEntry>& palette, std::int32_t transparentFirst = 0) {
    return saveGifFromPalette(path.c_str(), picture->width, picture->height, positionOf, picture,
                              palette.data(), static_cast<std::int32_t>(palette.size()),
                              transparentFirst);
}

// ---- Round trips

struct RoundTripCase {
    std::int32_t paletteCount;
    std::int32_t width;
};

void PrintTo(const RoundTripCase& c, std::ostream* out) {
    *out << c.paletteCount << " colours, " << c.width << " wide";
}

class GifExportRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(GifExportRoundTrip, EveryPositionAndEveryStrayPositionReadsBack) {
    const RoundTripCase& param = GetParam();
    const std::vector<PaletteEntry> palette = distinctPalette(param.paletteCount);
    std::vector<std::int32_t> positions;
    for (std::int32_t p = param.paletteCount - 1; p >= 0; --p)
        positions.push_back(p);
    for (const std::int32_t stray : {-1, param.paletteCount, 255, 256, int32Min, int32Max}) {
        positions.push_back(stray);
    }
    Positions picture = pictureOf(param.width, positions);
    ScratchDir dir;
    const std::string path = dir.file("out.gif");

    ASSERT_EQ(save(path, &picture, palette), 0);

    EXPECT_EQ(picture.asked, rowOrder(picture.width, picture.height));
    const Loaded loaded = loadBack(path);
    ASSERT_EQ(loaded.result, 0);
    EXPECT_EQ(loaded.width, picture.width);
    EXPECT_EQ(loaded.height, picture.height);
    EXPECT_EQ(loaded.rgb, expectedRgb(palette, picture.at));
}

INSTANTIATE_TEST_SUITE_P(PaletteSizes, GifExportRoundTrip,
                         ::testing::Values(RoundTripCase{1, 3}, RoundTripCase{2, 5},
                                           RoundTripCase{255, 17}, RoundTripCase{300, 23}),
                         [](const ::testing::TestParamInfo<RoundTripCase>& param) {
                             return "Colours" + std::to_string(param.param.paletteCount);
                         });

TEST(GifExport, StrayPositionsKeepTheFirstColour) {
    // Palette red, green, blue; positions -1, 3 and 7 name no colour.
    const std::vector<PaletteEntry> palette{{200, 10, 20}, {30, 190, 40}, {50, 60, 180}};
    Positions picture = pictureOf(3, {1, -1, 2, 3, 0, 7});
    ScratchDir dir;
    const std::string path = dir.file("stray.gif");

    ASSERT_EQ(save(path, &picture, palette), 0);

    const Loaded loaded = loadBack(path);
    ASSERT_EQ(loaded.result, 0);
    EXPECT_EQ(loaded.rgb, (Bytes{30, 190, 40, 200, 10, 20, 50, 60, 180,  //
                                 200, 10, 20, 200, 10, 20, 200, 10, 20}));
}

TEST(GifExport, PositionsFrom255On) {
    // Entries 255 to 299 are not taken: their pixels keep the first colour, while 254 is taken.
    const std::vector<PaletteEntry> palette = distinctPalette(300);
    Positions picture = pictureOf(4, {254, 255, 299, 0});
    ScratchDir dir;
    const std::string path = dir.file("many.gif");

    ASSERT_EQ(save(path, &picture, palette), 0);

    const Loaded loaded = loadBack(path);
    ASSERT_EQ(loaded.result, 0);
    const PaletteEntry& last = palette[254];
    const PaletteEntry& first = palette[0];
    const auto byte = [](std::int32_t v) { return static_cast<std::uint8_t>(v); };
    EXPECT_EQ(loaded.rgb,
              (Bytes{byte(last.red), byte(last.green), byte(last.blue), byte(first.red),
                     byte(first.green), byte(first.blue), byte(first.red), byte(first.green),
                     byte(first.blue), byte(first.red), byte(first.green), byte(first.blue)}));
}

TEST(GifExport, EqualEntriesAreSeparateColours) {
    const std::vector<PaletteEntry> palette{{90, 80, 70}, {90, 80, 70}, {1, 2, 3}};
    Positions picture = pictureOf(3, {0, 1, 2, 1, 0, 0});
    ScratchDir dir;
    const std::string path = dir.file("equal.gif");

    ASSERT_EQ(save(path, &picture, palette), 0);

    gdImagePtr read = openWithLibgd(path);
    ASSERT_NE(read, nullptr);
    const int first = gdImageGetPixel(read, 0, 0);
    const int second = gdImageGetPixel(read, 1, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(gdImageGetPixel(read, 0, 1), second);
    EXPECT_EQ(gdImageGetPixel(read, 1, 1), first);
    EXPECT_GE(gdImageColorsTotal(read), 3);
    for (const int index : {first, second}) {
        EXPECT_EQ(gdImageRed(read, index), 90);
        EXPECT_EQ(gdImageGreen(read, index), 80);
        EXPECT_EQ(gdImageBlue(read, index), 70);
    }
    gdImageDestroy(read);
}

TEST(GifExport, TransparentFirstWritesGif89aNamingTheFirstColour) {
    const std::vector<PaletteEntry> palette{{0, 128, 255}, {255, 64, 0}};
    Positions picture = pictureOf(3, {1, 0, 1, 0, 0, 1});
    ScratchDir dir;
    const std::string path = dir.file("transparent.gif");

    ASSERT_EQ(save(path, &picture, palette, 1), 0);

    EXPECT_EQ(firstSix(path), "GIF89a");
    gdImagePtr read = openWithLibgd(path);
    ASSERT_NE(read, nullptr);
    const int transparent = gdImageGetTransparent(read);
    EXPECT_EQ(transparent, gdImageGetPixel(read, 1, 0));
    EXPECT_NE(transparent, gdImageGetPixel(read, 0, 0));
    EXPECT_EQ(gdImageRed(read, transparent), 0);
    EXPECT_EQ(gdImageGreen(read, transparent), 128);
    EXPECT_EQ(gdImageBlue(read, transparent), 255);
    gdImageDestroy(read);
    // The loader ignores transparency: those pixels carry their palette colour.
    const Loaded loaded = loadBack(path);
    ASSERT_EQ(loaded.result, 0);
    EXPECT_EQ(loaded.rgb, expectedRgb(palette, picture.at));
}

TEST(GifExport, WithoutTransparencyWritesGif87a) {
    const std::vector<PaletteEntry> palette{{0, 128, 255}, {255, 64, 0}};
    Positions picture = pictureOf(3, {1, 0, 1, 0, 0, 1});
    ScratchDir dir;
    const std::string path = dir.file("opaque.gif");

    ASSERT_EQ(save(path, &picture, palette, 0), 0);

    EXPECT_EQ(firstSix(path), "GIF87a");
    gdImagePtr read = openWithLibgd(path);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(gdImageGetTransparent(read), -1);
    gdImageDestroy(read);
}

TEST(GifExport, OverwritesAnExistingFileCompletely) {
    const std::vector<PaletteEntry> palette{{12, 34, 56}, {65, 43, 21}};
    Positions picture = pictureOf(3, {1, 0, 0, 0, 1, 1});
    ScratchDir dir;
    const std::string fresh = dir.file("fresh.gif");
    const std::string existing = dir.file("existing.gif");
    testsupport::writeFile(existing, Bytes(5000, 0xAB));

    ASSERT_EQ(save(fresh, &picture, palette), 0);
    ASSERT_EQ(save(existing, &picture, palette), 0);

    EXPECT_EQ(testsupport::readFile(existing), testsupport::readFile(fresh));
}

// ---- Refusals: nothing asked, nothing touched

TEST(GifExport, NoColoursGivesOneWithoutAskingOrTouchingAFile) {
    const std::vector<PaletteEntry> palette{{1, 2, 3}};
    ScratchDir dir;
    const std::string path = dir.file("none.gif");
    const std::string existing = dir.file("existing.gif");
    testsupport::writeText(existing, "keep me");
    for (const std::int32_t count : {0, -1, int32Min}) {
        for (const std::string& target : {path, existing}) {
            Positions picture = pictureOf(2, {0, 0});
            EXPECT_EQ(saveGifFromPalette(target.c_str(), 2, 1, positionOf, &picture, palette.data(),
                                         count, 1),
                      1)
                << count;
            EXPECT_TRUE(picture.asked.empty()) << count;
        }
    }
    Positions picture = pictureOf(2, {0, 0});
    EXPECT_EQ(saveGifFromPalette(path.c_str(), 2, 1, positionOf, &picture, nullptr, 1, 0), 1);
    EXPECT_EQ(saveGifFromPalette(path.c_str(), 2, 1, nullptr, &picture, palette.data(), 1, 0), 1);
    EXPECT_EQ(saveGifFromPalette(nullptr, 2, 1, positionOf, &picture, palette.data(), 1, 0), 1);
    EXPECT_TRUE(picture.asked.empty());
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(testsupport::readFile(existing), Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
}

TEST(GifExport, SizeLibgdRefusesGivesOne) {
    silenceGdMessages();
    const std::vector<PaletteEntry> palette{{1, 2, 3}};
    ScratchDir dir;
    const std::string path = dir.file("empty.gif");
    const std::pair<std::int32_t, std::int32_t> sizes[] = {{0, 1}, {1, 0}, {-2, 3}, {3, -2}};
    for (const auto& [width, height] : sizes) {
        Positions picture;
        picture.width = 1;
        EXPECT_EQ(saveGifFromPalette(path.c_str(), width, height, positionOf, &picture,
                                     palette.data(), 1, 0),
                  1)
            << width << " x " << height;
        EXPECT_TRUE(picture.asked.empty());
    }
    EXPECT_FALSE(fs::exists(path));
}

// ---- Files that cannot be written

TEST(GifExport, MissingDirectoryGivesTwoAfterAskingEveryPixel) {
    const std::vector<PaletteEntry> palette{{9, 8, 7}, {7, 8, 9}};
    Positions picture = pictureOf(4, {0, 1, 1, 0, 1, 0, 0, 1});
    ScratchDir dir;
    const fs::path missing = dir.path() / "missing";
    const std::string path = (missing / "out.gif").string();

    EXPECT_EQ(save(path, &picture, palette), 2);

    EXPECT_EQ(picture.asked, rowOrder(4, 2));
    EXPECT_FALSE(fs::exists(missing));
}

TEST(GifExport, DeviceFullGivesTwoAndStays) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "/dev/full is not available here";
    const std::vector<PaletteEntry> palette{{9, 8, 7}, {7, 8, 9}};
    Positions picture = pictureOf(3, {0, 1, 1, 0, 1, 0});

    EXPECT_EQ(save("/dev/full", &picture, palette), 2);

    EXPECT_EQ(picture.asked, rowOrder(3, 2));
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// Exports a 64 x 64 picture to `path` in a child process whose files may not grow beyond 16
// bytes, so the writes fail part way; returns the export's result (-1 when the child failed).
int saveWithTinyFileLimit(const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(100);
        const std::vector<PaletteEntry> palette = distinctPalette(40);
        Positions picture;
        picture.width = 64;
        picture.height = 64;
        for (std::int32_t i = 0; i < 64 * 64; ++i)
            picture.at.push_back(i * 13 % 40);
        _exit(save(path, &picture, palette));
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(GifExport, WriteFailureRemovesTheFileItCreated) {
    ScratchDir dir;
    const std::string path = dir.file("cut.gif");

    EXPECT_EQ(saveWithTinyFileLimit(path), 2);

    EXPECT_FALSE(fs::exists(path));
}

TEST(GifExport, WriteFailureKeepsAFileThatExisted) {
    // The existing file was emptied when it was opened: its old bytes cannot come back, but the
    // file itself stays in place.
    ScratchDir dir;
    const std::string path = dir.file("old.gif");
    testsupport::writeFile(path, Bytes(10, 0x5A));

    EXPECT_EQ(saveWithTinyFileLimit(path), 2);

    ASSERT_TRUE(fs::is_regular_file(path));
    EXPECT_LE(fs::file_size(path), 16u);
}

// ---- Independent readers

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    const std::string folders = path;
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Parses a binary PPM (P6, maxval 255): size and red, green, blue bytes.
bool parsePpm(const Bytes& file, std::int32_t* width, std::int32_t* height, Bytes* rgb) {
    std::size_t at = 0;
    const auto number = [&](std::int32_t* out) {
        while (at < file.size() && std::isspace(file[at]))
            ++at;
        if (at >= file.size() || !std::isdigit(file[at])) return false;
        std::int32_t value = 0;
        while (at < file.size() && std::isdigit(file[at]) && value < 100000) {
            value = value * 10 + (file[at] - '0');
            ++at;
        }
        *out = value;
        return true;
    };
    if (file.size() < 2 || file[0] != 'P' || file[1] != '6') return false;
    at = 2;
    std::int32_t maxval = 0;
    if (!number(width) || !number(height) || !number(&maxval) || maxval != 255) return false;
    ++at;  // the one whitespace byte before the samples
    const std::size_t size =
        3 * static_cast<std::size_t>(*width) * static_cast<std::size_t>(*height);
    if (file.size() - std::min(at, file.size()) != size) return false;
    rgb->assign(file.begin() + static_cast<std::ptrdiff_t>(at), file.end());
    return true;
}

struct PeerReader {
    const char* program;
    const char* commandFormat;  // %s: the GIF, then the PPM to write
};

TEST(GifExport, IndependentReadersSeeTheSamePixels) {
    const PeerReader readers[] = {{"giftopnm", "giftopnm '%s' > '%s' 2>/dev/null"},
                                  {"convert", "convert '%s' ppm:'%s' 2>/dev/null"}};
    const std::vector<PaletteEntry> palette = distinctPalette(255);
    std::vector<std::int32_t> positions;
    for (std::int32_t i = 0; i < 19 * 13; ++i)
        positions.push_back((i * 37 + i / 19) % 260 - 2);
    Positions picture = pictureOf(19, positions);
    ScratchDir dir;
    const std::string gif = dir.file("peer.gif");
    ASSERT_EQ(save(gif, &picture, palette), 0);
    const Bytes expected = expectedRgb(palette, picture.at);

    int ran = 0;
    for (const PeerReader& reader : readers) {
        if (!onPath(reader.program)) continue;
        ++ran;
        const std::string ppm = dir.file(std::string(reader.program) + ".ppm");
        char command[1024];
        std::snprintf(command, sizeof command, reader.commandFormat, gif.c_str(), ppm.c_str());
        ASSERT_EQ(std::system(command), 0) << command;
        std::int32_t width = 0;
        std::int32_t height = 0;
        Bytes rgb;
        ASSERT_TRUE(parsePpm(testsupport::readFile(ppm), &width, &height, &rgb)) << reader.program;
        EXPECT_EQ(width, 19) << reader.program;
        EXPECT_EQ(height, 13) << reader.program;
        EXPECT_EQ(rgb, expected) << reader.program;
    }
    if (ran == 0)
        GTEST_SKIP() << "neither giftopnm (netpbm) nor convert (ImageMagick) is installed";
}

// ---- The test suite's GIF fixtures

TEST(GifExport, FixturesReadBackWithTheirTransparentColour) {
    testsupport::GifSpec spec;
    spec.width = 3;
    spec.height = 2;
    spec.palette = {0xC81E0A, 0x14B428, 0x3C46D2};
    spec.indices = {0, 2, 1, 2, 2, 0};
    spec.transparent = 2;
    ScratchDir dir;
    const std::string path = dir.file("fixture.gif");
    testsupport::writeGif(path, spec);

    const Loaded loaded = loadBack(path);
    ASSERT_EQ(loaded.result, 0);
    EXPECT_EQ(loaded.rgb, (Bytes{0xC8, 0x1E, 0x0A, 0x3C, 0x46, 0xD2, 0x14, 0xB4, 0x28,  //
                                 0x3C, 0x46, 0xD2, 0x3C, 0x46, 0xD2, 0xC8, 0x1E, 0x0A}));
    EXPECT_EQ(firstSix(path), "GIF89a");
    gdImagePtr read = openWithLibgd(path);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(gdImageGetTransparent(read), gdImageGetPixel(read, 1, 0));
    gdImageDestroy(read);
}

TEST(GifExport, InterlacedFixtureHoldsTheSamePicture) {
    testsupport::GifSpec spec;
    spec.width = 3;
    spec.height = 5;
    spec.palette = {0x102030, 0xF0E0D0, 0x808000};
    spec.indices = {0, 1, 2, 1, 2, 0, 2, 0, 1, 0, 0, 1, 2, 2, 2};
    ScratchDir dir;
    const std::string plain = dir.file("plain.gif");
    const std::string interlaced = dir.file("interlaced.gif");
    testsupport::writeGif(plain, spec);
    spec.interlaced = true;
    testsupport::writeGif(interlaced, spec);

    gdImagePtr read = openWithLibgd(interlaced);
    ASSERT_NE(read, nullptr);
    EXPECT_NE(gdImageGetInterlaced(read), 0);
    gdImageDestroy(read);
    const Loaded fromPlain = loadBack(plain);
    const Loaded fromInterlaced = loadBack(interlaced);
    ASSERT_EQ(fromPlain.result, 0);
    ASSERT_EQ(fromInterlaced.result, 0);
    EXPECT_EQ(fromInterlaced.rgb, fromPlain.rgb);
}

// ---- Pixel operations on libgd palette images

// A palette image drawn from rows of letters; letter 'a' + k is the colour allocated k-th, and
// `colours` gives each its red, green and blue.
gdImagePtr drawPalette(const std::vector<std::string>& rows,
                       const std::vector<std::uint32_t>& colours) {
    const auto width = static_cast<int>(rows.at(0).size());
    const auto height = static_cast<int>(rows.size());
    gdImagePtr picture = gdImageCreate(width, height);
    for (const std::uint32_t rgb : colours) {
        gdImageColorAllocate(picture, static_cast<int>(rgb >> 16),
                             static_cast<int>(rgb >> 8 & 0xFF), static_cast<int>(rgb & 0xFF));
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            gdImageSetPixel(picture, x, y,
                            rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] - 'a');
        }
    }
    return picture;
}

// The picture's colours by value, one 0xRRGGBB a pixel, row by row.
std::vector<std::uint32_t> coloursOf(gdImagePtr picture) {
    std::vector<std::uint32_t> colours;
    for (int y = 0; y < gdImageSY(picture); ++y) {
        for (int x = 0; x < gdImageSX(picture); ++x) {
            const int index = gdImageGetPixel(picture, x, y);
            colours.push_back(static_cast<std::uint32_t>(gdImageRed(picture, index) << 16 |
                                                         gdImageGreen(picture, index) << 8 |
                                                         gdImageBlue(picture, index)));
        }
    }
    return colours;
}

struct RegionCase {
    const char* name;
    std::int32_t left, top, right, bottom, colour, expected;
};

TEST(RegionHasColour, Rectangles) {
    gdImagePtr picture =
        drawPalette({"aaab", "aaab", "aacb", "bbbb"}, {0x112233, 0x445566, 0x778899});
    const RegionCase cases[] = {
        {"empty width, colour absent", 2, 1, 2, 3, 9, 1},
        {"empty height, colour absent", 0, 2, 4, 2, 9, 1},
        {"right left of left", 3, 0, 1, 2, 1, 1},
        {"one pixel", 2, 2, 3, 3, 2, 1},
        {"uniform block", 0, 0, 3, 2, 0, 1},
        {"uniform column on the right", 3, 0, 4, 4, 1, 1},
        {"uniform bottom row", 0, 3, 4, 4, 1, 1},
        {"exclusive edges stop before c", 0, 0, 2, 3, 0, 1},
        {"last pixel differs", 0, 0, 3, 3, 0, 0},
        {"first pixel differs", 1, 2, 3, 3, 2, 0},
        {"whole picture", 0, 0, 4, 4, 0, 0},
        {"uniform block, other colour asked", 0, 0, 3, 2, 1, 0},
    };
    for (const RegionCase& c : cases) {
        EXPECT_EQ(regionHasColour(picture, c.left, c.top, c.right, c.bottom, c.colour), c.expected)
            << c.name;
    }
    gdImageDestroy(picture);
}

TEST(CopyPixelsExceptColour, KeyNoSourcePixelHasCopiesTheWholeRectangle) {
    // The destination's palette lists the same colours in another order (and one more), so a
    // copy by index instead of by colour shows.
    gdImagePtr source = drawPalette({"abcab", "cabca"}, {0xFF0000, 0x00FF00, 0x0000FF});
    gdImagePtr dest = drawPalette({"aaaa", "aaaa", "aaaa"}, {0xFFFFFF, 0x0000FF, 0xFF0000});

    copyPixelsExceptColour(dest, source, 1, 1, 2, 0, 3, 2, 7);

    const std::uint32_t w = 0xFFFFFF, r = 0xFF0000, g = 0x00FF00, b = 0x0000FF;
    EXPECT_EQ(coloursOf(dest), (std::vector<std::uint32_t>{w, w, w, w,  //
                                                           w, b, r, g,  //
                                                           w, g, b, r}));
    gdImageDestroy(source);
    gdImageDestroy(dest);
}

TEST(CopyPixelsExceptColour, KeyPixelsLeaveTheDestinationAlone) {
    gdImagePtr source = drawPalette({"abcab", "cabca"}, {0xFF0000, 0x00FF00, 0x0000FF});
    gdImagePtr dest = drawPalette({"aaaa", "aaaa", "aaaa"}, {0xFFFFFF, 0x0000FF, 0xFF0000});

    copyPixelsExceptColour(dest, source, 1, 1, 2, 0, 3, 2, 1);  // 1: green in the source

    const std::uint32_t w = 0xFFFFFF, r = 0xFF0000, b = 0x0000FF;
    EXPECT_EQ(coloursOf(dest), (std::vector<std::uint32_t>{w, w, w, w,  //
                                                           w, b, r, w,  //
                                                           w, w, b, r}));
    gdImageDestroy(source);
    gdImageDestroy(dest);
}

TEST(CopyPixelsExceptColour, EmptyRectangleCopiesNothing) {
    gdImagePtr source = drawPalette({"ab"}, {0xFF0000, 0x00FF00});
    gdImagePtr dest = drawPalette({"aa"}, {0x000000});
    for (const auto& [width, height] : {std::pair{0, 1}, std::pair{1, 0}, std::pair{-1, 1}}) {
        copyPixelsExceptColour(dest, source, 0, 0, 0, 0, width, height, 9);
    }
    copyPixelsExceptColour(dest, source, int32Max, int32Max, int32Max, int32Max, 2, 2, 9);
    EXPECT_EQ(coloursOf(dest), (std::vector<std::uint32_t>{0, 0}));
    gdImageDestroy(source);
    gdImageDestroy(dest);
}

}  // namespace
