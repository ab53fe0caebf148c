// ditherToBlackWhite: the worked pictures, and a plain model of the rule compared on many small
// pictures, which shows any slip in the diffusion (its edges, its clamps, the row below). The same
// model checks whole conversions at the GIF's own size, which run row by row from the palette.
#include "mono/dither.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/convert.h"
#include "test_support.h"

namespace {

// The picture as rows of 'W' (255, 255, 255) and 'B' (0, 0, 0) joined by '/'; other pixels '?'.
std::string dithered(std::int32_t width, std::int32_t height, const std::vector<std::uint8_t>& rgb,
                     std::int32_t threshold) {
    RgbImage image = testsupport::makeImage(width, height, rgb);
    if (image.status != 0) return "not allocated";
    ditherToBlackWhite(&image, threshold);
    std::string text;
    for (std::int32_t y = 0; y < height; ++y) {
        if (y > 0) text += '/';
        for (const std::uint8_t* p = image.rows[y]; p < image.rows[y] + 3 * width; p += 3) {
            const bool same = p[0] == p[1] && p[1] == p[2];
            text += !same ? '?' : p[0] == 255 ? 'W' : p[0] == 0 ? 'B' : '?';
        }
    }
    rgbImageFree(&image);
    return text;
}

std::vector<std::uint8_t> greys(const std::vector<int>& values) {
    std::vector<std::uint8_t> rgb;
    for (const int value : values)
        rgb.insert(rgb.end(), 3, static_cast<std::uint8_t>(value));
    return rgb;
}

TEST(Dither, WorkedPictures) {
    struct Case {
        std::int32_t width, height;
        std::vector<std::uint8_t> rgb;
        std::int32_t threshold;
        std::string expected;
    };
    // Black but for one white pixel at x = 100: mean 255 / 300 = 0.
    const auto lineOf300 = [] {
        std::vector<int> line(300, 0);
        line[100] = 255;
        return greys(line);
    };
    const Case cases[] = {
        // grey is (r + g + b) / 3, truncated: white exactly when it reaches the threshold
        {1, 1, {10, 20, 30}, 20, "W"},
        {1, 1, {10, 20, 30}, 21, "B"},
        {1, 1, {1, 1, 0}, 0, "W"},
        {1, 1, {1, 1, 0}, 1, "B"},
        {1, 1, {255, 255, 254}, 254, "W"},
        {1, 1, {255, 255, 254}, 255, "B"},
        // at the mean (any negative threshold)
        {4, 2, greys(std::vector<int>(8, 0)), -1, "BBBB/BBBB"},  // mean 0: dithered at 1
        {4, 2, greys(std::vector<int>(8, 255)), -1, "WWWW/WWWW"},
        {1, 1, {0, 0, 0}, -1, "B"},
        {1, 1, {1, 1, 0}, -1, "B"},  // grey 0 as well
        {1, 1, {1, 1, 1}, -1, "W"},
        // mean 0 with a bright detail: the detail stays white, the rest black
        {300, 1, lineOf300(), -1, std::string(100, 'B') + "W" + std::string(199, 'B')},
        {4, 2, greys({0, 0, 0, 0, 0, 0, 0, 7}), -1, "BBBB/BBBW"},
        {1, 1, {200, 10, 90}, -1, "W"},
        {4, 2, greys(std::vector<int>(8, 100)), -1, "WBWB/BWBW"},
        {4, 2, greys(std::vector<int>(8, 128)), -7, "WBWB/BWBW"},
        {3, 2, greys({160, 230, 0, 230, 0, 128}), -1, "WWB/WBW"},  // mean 124
        {3, 2, greys({160, 230, 0, 230, 0, 128}), INT32_MIN, "WWB/WBW"},
        // given thresholds clamp to 0-255
        {3, 2, greys({160, 230, 0, 230, 0, 128}), 0, "WWW/WWW"},
        {2, 1, greys({254, 255}), 300, "BW"},
        {2, 1, greys({254, 255}), INT32_MAX, "BW"},
        {4, 2, greys({255, 255, 0, 255, 255, 255, 255, 200}), 300, "WWBW/WWWB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " at " << c.threshold);
        EXPECT_EQ(dithered(c.width, c.height, c.rgb, c.threshold), c.expected);
    }
}

// The rule written out plainly on a grid of greys; negative threshold: the mean.
std::vector<int> modelDither(int width, int height, const std::vector<std::uint8_t>& rgb,
                             int threshold) {
    std::vector<int> grey(static_cast<std::size_t>(width * height));
    long long sum = 0;
    for (std::size_t i = 0; i < grey.size(); ++i) {
        grey[i] = (rgb[3 * i] + rgb[3 * i + 1] + rgb[3 * i + 2]) / 3;
        sum += grey[i];
    }
    if (threshold < 0) threshold = std::max(1, static_cast<int>(sum / (width * height)));
    threshold = std::min(threshold, 255);
    auto push = [&](int x, int y, int error, int weight) {
        int& target = grey[static_cast<std::size_t>(y * width + x)];
        target = std::clamp(target + error * weight / 16, 0, 255);
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int& v = grey[static_cast<std::size_t>(y * width + x)];
            const int error = v < threshold ? v : v - 255;
            v = v < threshold ? 0 : 255;
            if (x < width - 1) push(x + 1, y, error, 7);
            if (y == height - 1) continue;
            if (x > 0) push(x - 1, y + 1, error, 3);
            push(x, y + 1, error, 5);
            if (x < width - 1) push(x + 1, y + 1, error, 1);
        }
    }
    return grey;
}

TEST(Dither, EveryPixelAsThePlainRuleGivesIt) {
    // Pictures of four kinds: colour noise, near-uniform (shares clamp often), black and white
    // only, and two flat halves.
    std::minstd_rand random(20261207u);
    for (const int width : {1, 2, 3, 4, 7, 8, 9, 16, 17, 31}) {
        for (const int height : {1, 2, 3, 5, 8}) {
            for (int kind = 0; kind < 4; ++kind) {
                for (const int threshold : {-1, 0, 1, 77, 128, 254, 255, 300}) {
                    const int base = static_cast<int>(random() % 256);
                    std::vector<std::uint8_t> rgb;
                    for (int at = 0; at < 3 * width * height; ++at) {
                        const int noise = static_cast<int>(random() >> 8);
                        const int value = kind == 0   ? noise % 256
                                          : kind == 1 ? (base + noise % 21 + 246) % 256
                                          : kind == 2 ? noise % 2 * 255
                                          : at % (3 * width) < 3 * width / 2 ? base
                                                                             : 255 - base;
                        rgb.push_back(static_cast<std::uint8_t>(value));
                    }
                    std::string expected;
                    const std::vector<int> model = modelDither(width, height, rgb, threshold);
                    for (std::size_t i = 0; i < model.size(); ++i) {
                        if (i > 0 && i % static_cast<std::size_t>(width) == 0) expected += '/';
                        expected += model[i] == 255 ? 'W' : 'B';
                    }
                    ASSERT_EQ(dithered(width, height, rgb, threshold), expected)
                        << width << " x " << height << ", kind " << kind << ", threshold "
                        << threshold;
                }
            }
        }
    }
}

TEST(Dither, ConversionsAtTheGifsOwnSizeAsThePlainRuleGivesThem) {
    // Random palettes of 1 to 256 colours: any colours, or greys of 0 (black and (1, 1, 0))
    // with at most one pixel a little brighter, whose mean is then 0. Widths on both sides of
    // whole bytes; the requests "0 0" and the source's own width with the height derived.
    std::minstd_rand random(20261208u);
    testsupport::ScratchDir dir;
    const std::string gifPath = dir.file("in.gif");
    const std::string wbmpPath = dir.file("out.wbmp");
    for (const int width : {1, 2, 7, 8, 9, 15, 16, 17, 33, 127}) {
        for (const int height : {1, 2, 3, 6}) {
            for (int kind = 0; kind < 2; ++kind) {
                testsupport::GifPicture gif{width, height, {}, {}, -1, false};
                const int colours = kind == 0 ? 1 + static_cast<int>(random() % 256) : 3;
                for (int entry = 0; entry < colours; ++entry) {
                    gif.palette.push_back(
                        kind == 0 ? random() % 0x1000000u
                                  : std::vector<std::uint32_t>{0, 0x010100, 0x050505}[entry]);
                }
                for (int at = 0; at < width * height; ++at) {
                    gif.indices.push_back(
                        static_cast<std::int32_t>(random() % (kind == 0 ? colours : 2)));
                }
                if (kind == 1 && random() % 2 == 0) {
                    gif.indices[random() % gif.indices.size()] = 2;
                }
                std::vector<std::uint8_t> rgb;
                for (const std::int32_t index : gif.indices) {
                    const std::uint32_t colour = gif.palette[static_cast<std::size_t>(index)];
                    rgb.push_back(static_cast<std::uint8_t>(colour >> 16));
                    rgb.push_back(static_cast<std::uint8_t>(colour >> 8));
                    rgb.push_back(static_cast<std::uint8_t>(colour));
                }
                const std::vector<int> model = modelDither(width, height, rgb, -1);
                testsupport::Bytes expected{0, 0, static_cast<std::uint8_t>(width),
                                            static_cast<std::uint8_t>(height)};
                for (int y = 0; y < height; ++y) {
                    for (int x = 0; x < width; x += 8) {
                        std::uint8_t byte = 0;
                        for (int bit = 0; bit < 8 && x + bit < width; ++bit) {
                            if (model[static_cast<std::size_t>(y * width + x + bit)] == 255) {
                                byte = static_cast<std::uint8_t>(byte | (0x80 >> bit));
                            }
                        }
                        expected.push_back(byte);
                    }
                }
                testsupport::writeGif(gifPath, gif);
                for (const int requestedWidth : {0, width}) {
                    ASSERT_EQ(convertFile(gifPath.c_str(), wbmpPath.c_str(), requestedWidth, 0), 0);
                    ASSERT_TRUE(testsupport::readFile(wbmpPath) == expected)
                        << width << " x " << height << ", kind " << kind << ", request "
                        << requestedWidth << " 0";
                }
            }
        }
    }
}

TEST(Dither, PicturesWithoutPixelsAreLeftUntouched) {
    std::uint8_t bytes[2][9];
    std::memset(bytes, 0x5A, sizeof bytes);
    std::uint8_t* rows[2] = {bytes[0], bytes[1]};
    for (const auto& size : {std::pair{0, 2}, std::pair{3, 0}, std::pair{0, 0}}) {
        RgbImage image{0, size.first, size.second, rows};
        ditherToBlackWhite(&image, -1);
        ditherToBlackWhite(&image, 100);
        EXPECT_EQ(image.width, size.first);
        EXPECT_EQ(image.height, size.second);
        for (const auto& row : bytes) {
            for (const std::uint8_t byte : row)
                ASSERT_EQ(byte, 0x5A);
        }
    }
}

TEST(Dither, TheMeanOfAVeryLargePictureIsExact) {
    // 4105 x 4104 pixels: 255 times their count exceeds 2^32, so a 32-bit sum would wrap and
    // bring the threshold down. All 255 but the first pixel, 200: the mean is 254, and that
    // pixel alone turns black.
    const std::int32_t width = 4105;
    const std::int32_t height = 4104;
    RgbImage image{};
    ASSERT_EQ(rgbImageAlloc(&image, width, height), 0);
    for (std::int32_t y = 0; y < height; ++y)
        std::memset(image.rows[y], 255, static_cast<std::size_t>(3 * width));
    std::memset(image.rows[0], 200, 3);
    ditherToBlackWhite(&image, -1);
    std::int64_t blackPixels = 0;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x)
            blackPixels += image.rows[y][3 * x] == 0 ? 1 : 0;
    }
    EXPECT_EQ(image.rows[0][0], 0);
    EXPECT_EQ(blackPixels, 1);
    rgbImageFree(&image);
}

}  // namespace
