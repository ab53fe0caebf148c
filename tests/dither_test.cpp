// Dithering: worked pictures that pin the rule, then a plain model of the rule against
// ditherToBlackWhite on random pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

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
        const int sum = bytes[at] + bytes[at + 1] + bytes[at + 2];
        text += sum == 0 ? 'B' : sum == 765 ? 'W' : '?';
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
        text += value < threshold ? 'B' : 'W';
        for (const auto& [dx, dy, weight] : shares) {
            const int to = at + dy * width + dx, error = value < threshold ? value : value - 255;
            if (x + dx < 0 || x + dx >= width || to >= width * height) continue;
            grey[std::size_t(to)] = std::clamp(grey[std::size_t(to)] + error * weight / 16, 0, 255);
        }
    }
    return text;
}

TEST(Dither, WorkedAndRandomPictures) {
    // width, height, pixels, threshold, result. Grey truncated, a tie to white; shares truncated
    // toward zero (-5 * 7 / 16 is -2), each clamped before the next; the mean (any negative
    // threshold), 1 when it is 0; a threshold above 255 clamped.
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
    // Random colours, widths up to 33, at several thresholds.
    std::minstd_rand random(20261207u);
    for (int round = 0; round < 72; ++round) {
        const int width = 1 + int(random() % 33), height = 1 + int(random() % 4);
        Rgb rgb(3 * std::size_t(width * height));
        std::generate(rgb.begin(), rgb.end(), [&] { return std::uint8_t(random() >> 7); });
        for (const int threshold : {-1, 0, 1, 77, 128, 254, 255, 256})
            ASSERT_EQ(dithered(width, height, rgb, threshold), model(width, height, rgb, threshold))
                << round << " at " << threshold;
    }
}

}  // namespace
