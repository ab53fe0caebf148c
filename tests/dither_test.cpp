// Dithering: worked pictures that pin the rule, then a plain model of the rule against
// ditherToBlackWhite and against whole conversions at the GIF's own size (row by row from the
// palette) on random pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "app/convert.h"
#include "mono/dither.h"
#include "test_support.h"

namespace {

using Rgb = std::vector<std::uint8_t>;

// Each pixel after ditherToBlackWhite, row by row: 'W' (255, 255, 255), 'B' (0, 0, 0) or '?'.
std::string dithered(int width, int height, const Rgb& rgb, int threshold) {
    RgbImage image = testsupport::makeImage(width, height, rgb);
    ditherToBlackWhite(&image, threshold);
    const Rgb bytes = testsupport::imageBytes(image);
    rgbImageFree(&image);
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const int v = bytes[at];
        text += bytes[at + 1] != v || bytes[at + 2] != v || (v != 0 && v != 255) ? '?'
                : v                                                              ? 'W'
                                                                                 : 'B';
    }
    return text;
}

// The rule written out plainly, in the same form: a negative threshold asks for the mean grey
// (1 when that is 0); each error goes out in sixteenths, truncated: (dx, dy, weight).
const int shares[4][3] = {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}};

std::string model(int width, int height, const Rgb& rgb, int threshold) {
    std::vector<int> grey;
    for (std::size_t at = 0; at < rgb.size(); at += 3)
        grey.push_back((rgb[at] + rgb[at + 1] + rgb[at + 2]) / 3);
    const int mean = std::accumulate(grey.begin(), grey.end(), 0) / (width * height);
    threshold = std::min(threshold < 0 ? std::max(mean, 1) : threshold, 255);
    std::string text;
    for (int at = 0; at < width * height; ++at) {
        const int x = at % width, value = grey[std::size_t(at)];
        const int error = value < threshold ? value : value - 255;
        text += value < threshold ? 'B' : 'W';
        for (const auto& [dx, dy, weight] : shares) {
            const int to = at + dy * width + dx;
            if (x + dx < 0 || x + dx >= width || to >= width * height) continue;
            grey[std::size_t(to)] = std::clamp(grey[std::size_t(to)] + error * weight / 16, 0, 255);
        }
    }
    return text;
}

TEST(Dither, WorkedPictures) {
    // Grey truncated, a tie to white; shares truncated toward zero (-5 * 7 / 16 is -2), each
    // clamped before the next; the mean (any negative threshold), 1 when it is 0; a threshold
    // above 255 clamped.
    const auto greys = [](const std::vector<int>& values) {
        Rgb rgb;
        for (const int value : values)
            rgb.insert(rgb.end(), 3, std::uint8_t(value));
        return rgb;
    };
    // clang-format off
    const std::tuple<int, int, Rgb, int, std::string> cases[] = {
        {1, 1, {10, 20, 30}, 20, "W"}, {1, 1, {10, 20, 30}, 21, "B"},
        {3, 1, greys({250, 255, 128}), 128, "WWW"}, {3, 2, greys({10, 128, 250, 100, 0, 150}), 128, "BWWBBW"},
        {3, 2, greys({160, 230, 0, 230, 0, 128}), INT32_MIN, "WWBWBW"},  // mean 124
        {1, 1, {1, 1, 0}, -1, "B"}, {1, 1, {1, 1, 1}, -1, "W"},
        {4, 2, greys({0, 0, 0, 0, 0, 0, 0, 7}), -1, "BBBBBBBW"}, {2, 1, greys({254, 255}), INT32_MAX, "BW"}};
    // clang-format on
    for (const auto& [width, height, rgb, threshold, expected] : cases) {
        EXPECT_EQ(dithered(width, height, rgb, threshold), expected) << threshold;
        EXPECT_EQ(model(width, height, rgb, threshold), expected) << threshold;
    }
}

TEST(Dither, RandomPicturesAndNativeConversionsAsTheModelGivesThem) {
    // Palettes of four kinds: any colours; near one grey (shares often clamp); black and white;
    // black and (1, 1, 0), maybe one pixel (5, 5, 5): mean 0. Widths around whole bytes; the
    // conversions asked at "0 0" and at the GIF's own width.
    std::minstd_rand random(20261207u);
    testsupport::ScratchDir dir;
    const std::string gif = dir.file("in.gif"), wbmp = dir.file("out.wbmp");
    for (int round = 0; round < 144; ++round) {
        const int width = std::vector{1, 2, 3, 7, 8, 9, 16, 17, 33}[std::size_t(round % 9)];
        const int height = std::vector{1, 2, 3, 6}[std::size_t(round / 9 % 4)], kind = round / 36;
        testsupport::GifPicture picture{width, height, {}, {}, -1};
        const unsigned base = random() % 256, colours = kind == 0 ? 1 + random() % 256 : 2;
        for (unsigned entry = 0; entry < colours; ++entry) {
            std::uint32_t colour = kind == 0   ? random() % 0x1000000u
                                   : kind == 2 ? 0xFFFFFFu * entry
                                               : 0x010100u * entry;
            for (int channel = 0; kind == 1 && channel < 3; ++channel)
                colour = (colour << 8 | (base + random() % 21 + 246) % 256) & 0xFFFFFFu;
            picture.palette.push_back(colour);
        }
        for (int at = 0; at < width * height; ++at)
            picture.indices.push_back(std::int32_t(random() % colours));
        if (kind == 3) picture.palette.push_back(0x050505);
        if (kind == 3 && random() % 2 == 0) picture.indices[random() % picture.indices.size()] = 2;
        Rgb rgb;
        for (const std::int32_t index : picture.indices) {
            for (const int shift : {16, 8, 0})
                rgb.push_back(std::uint8_t(picture.palette[std::size_t(index)] >> shift));
        }
        for (const int threshold : {-1, 0, 1, 77, 128, 254, 255, 300})
            ASSERT_EQ(dithered(width, height, rgb, threshold), model(width, height, rgb, threshold))
                << round << " at " << threshold;

        const std::string text = model(width, height, rgb, -1);
        testsupport::Bytes expected{0, 0, std::uint8_t(width), std::uint8_t(height)};
        for (int row = 0; row < height; ++row) {
            for (int x = 0; x < width; x += 8) {
                int byte = 0;
                for (int bit = 0; bit < 8 && x + bit < width; ++bit)
                    byte |= (text[std::size_t(row * width + x + bit)] == 'W') << (7 - bit);
                expected.push_back(std::uint8_t(byte));
            }
        }
        testsupport::writeGif(gif, picture);
        for (const int asked : {0, width}) {
            ASSERT_EQ(convertFile(gif.c_str(), wbmp.c_str(), asked, 0), 0);
            ASSERT_TRUE(testsupport::readFile(wbmp) == expected) << round << ", asked " << asked;
        }
    }
}

}  // namespace
