// ditherToBlackWhite against a plain model of the rule, on many small pictures: the model keeps
// every grey in memory and pushes each share into it one by one, as the rule is written, so
// any slip in the fast diffusion (its edges, the order of its clamps, the row below) shows.
// Also the packing of the WBMP export at every width around whole bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "mono/dither.h"
#include "mono/wbmp_export.h"
#include "test_support.h"

namespace {

using testsupport::Bytes;

// The rule, step by step, on a grid of greys with a given threshold (negative: the mean).
std::vector<int> modelDither(int width, int height, const std::vector<std::uint8_t>& rgb,
                             int threshold) {
    std::vector<int> grey(static_cast<std::size_t>(width * height));
    long long sum = 0;
    for (std::size_t i = 0; i < grey.size(); ++i) {
        grey[i] = (rgb[3 * i] + rgb[3 * i + 1] + rgb[3 * i + 2]) / 3;
        sum += grey[i];
    }
    if (threshold < 0) threshold = static_cast<int>(sum / (width * height));
    if (threshold > 255) threshold = 255;
    auto push = [&](int x, int y, int error, int weight) {
        int& target = grey[static_cast<std::size_t>(y * width + x)];
        const int value = target + error * weight / 16;
        target = value < 0 ? 0 : (value > 255 ? 255 : value);
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int& v = grey[static_cast<std::size_t>(y * width + x)];
            int error = v;
            if (v < threshold) {
                v = 0;
            } else {
                error = v - 255;
                v = 255;
            }
            if (x < width - 1) push(x + 1, y, error, 7);
            if (y < height - 1) {
                if (x > 0) push(x - 1, y + 1, error, 3);
                push(x, y + 1, error, 5);
                if (x < width - 1) push(x + 1, y + 1, error, 1);
            }
        }
    }
    return grey;
}

// A fixed sequence of numbers, so that every run tests the same pictures.
struct Sequence {
    std::uint32_t state;
    int below(int limit) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<std::uint32_t>(limit));
    }
};

// Pictures of four kinds: noise, near-uniform (shares clamp often at one end), black and white
// only, and two flat halves.
std::vector<std::uint8_t> makePicture(int width, int height, int kind, Sequence* sequence) {
    std::vector<std::uint8_t> rgb;
    const int base = sequence->below(256);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < 3 * width; ++x) {
            int value = 0;
            switch (kind) {
                case 0:
                    value = sequence->below(256);
                    break;
                case 1:
                    value = (base + sequence->below(21) + 246) % 256;
                    break;
                case 2:
                    value = sequence->below(2) * 255;
                    break;
                default:
                    value = x < 3 * width / 2 ? base : 255 - base;
                    break;
            }
            rgb.push_back(static_cast<std::uint8_t>(value));
        }
    }
    return rgb;
}

TEST(DitherModel, EveryPixelAsThePlainRuleGivesIt) {
    Sequence sequence{20261207u};
    const int widths[] = {1, 2, 3, 4, 7, 8, 9, 16, 17, 31};
    const int heights[] = {1, 2, 3, 5, 8};
    const int thresholds[] = {-1, 0, 1, 77, 128, 254, 255, 300};
    int compared = 0;
    for (int width : widths) {
        for (int height : heights) {
            for (int kind = 0; kind < 4; ++kind) {
                for (int threshold : thresholds) {
                    const auto rgb = makePicture(width, height, kind, &sequence);
                    const std::vector<int> expected = modelDither(width, height, rgb, threshold);
                    RgbImage image = testsupport::makeImage(width, height, rgb);
                    ASSERT_EQ(image.status, 0);
                    ditherToBlackWhite(&image, threshold);
                    for (int y = 0; y < height; ++y) {
                        for (int x = 0; x < width; ++x) {
                            const std::uint8_t* pixel = image.rows[y] + 3 * x;
                            const int want = expected[static_cast<std::size_t>(y * width + x)];
                            ASSERT_TRUE(pixel[0] == want && pixel[1] == want && pixel[2] == want)
                                << width << " x " << height << ", kind " << kind << ", threshold "
                                << threshold << ", pixel (" << x << ", " << y << ") is "
                                << int{pixel[0]} << "/" << int{pixel[1]} << "/" << int{pixel[2]}
                                << ", rule gives " << want;
                        }
                    }
                    rgbImageFree(&image);
                    ++compared;
                }
            }
        }
    }
    EXPECT_EQ(compared, 10 * 5 * 4 * 8);
}

// Black and white pictures stay as they are under dithering at their mean (every error is 0)
// when they hold both colours, so the file shows the packing alone: a set bit for each white
// pixel, leftmost pixel in the high bit, rows padded with 0 bits.
TEST(DitherModel, WbmpRowsArePackedAtEveryWidth) {
    testsupport::ScratchDir scratch;
    const std::string path = scratch.file("out.wbmp");
    for (int width = 1; width <= 26; ++width) {
        const int height = 3;
        std::vector<std::uint8_t> rgb;
        std::vector<bool> white;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                // pixel (0, 0) is black and (0, 1) white, so that both colours are there
                const bool isWhite = (x * 5 + y * 3 + x * y) % 7 < 3 || (x == 0 && y == 1);
                const bool isBlack = x == 0 && y == 0;
                white.push_back(isWhite && !isBlack);
                const std::uint8_t value = white.back() ? 255 : 0;
                rgb.insert(rgb.end(), {value, value, value});
            }
        }
        Bytes expected = {0, 0, static_cast<std::uint8_t>(width), height};
        for (int y = 0; y < height; ++y) {
            for (int byte = 0; byte < (width + 7) / 8; ++byte) {
                std::uint8_t bits = 0;
                for (int bit = 0; bit < 8 && byte * 8 + bit < width; ++bit) {
                    if (white[static_cast<std::size_t>(y * width + byte * 8 + bit)]) {
                        bits = static_cast<std::uint8_t>(bits | (0x80 >> bit));
                    }
                }
                expected.push_back(bits);
            }
        }
        RgbImage image = testsupport::makeImage(width, height, rgb);
        ASSERT_EQ(image.status, 0);
        std::remove(path.c_str());
        ASSERT_EQ(writeWbmpFile(&image, path.c_str()), 0) << "width " << width;
        rgbImageFree(&image);
        EXPECT_EQ(testsupport::readFile(path), expected) << "width " << width;
    }
}

}  // namespace
