// The area-averaging reduction: worked results, the 32-bit edge limit, status words, and a
// comparison on noise with the nine regions added one by one through accumulateRegion, which
// catches channel mix-ups and the summing shortcuts that grey worked results cannot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "resample/reduce.h"
#include "test_support.h"

namespace {

using testsupport::imageBytes;
using testsupport::makeNoise;

// Destination pixel (x, y) the long way: the four edges, the nine regions in their order, the
// division by the area and the clamp.
void referencePixel(const RgbImage& source, std::int64_t dw, std::int64_t dh, std::int64_t x,
                    std::int64_t y, std::uint8_t* out) {
    const auto l = static_cast<std::int32_t>(x * source.width * 128 / dw);
    const auto r = static_cast<std::int32_t>((x + 1) * source.width * 128 / dw);
    const auto t = static_cast<std::int32_t>(y * source.height * 128 / dh);
    const auto b = static_cast<std::int32_t>((y + 1) * source.height * 128 / dh);
    const std::int32_t lf = l & ~127, lc = lf + 128, rf = r & ~127, rc = rf + 128;
    const std::int32_t tf = t & ~127, tc = tf + 128, bf = b & ~127, bc = bf + 128;
    // Bands across and down: near partial pixel, whole pixels, far partial pixel; the order in
    // which the regions are added does not change the sums.
    const std::int32_t across[3][3] = {{lf, lc, lc - l}, {lc, rf, rf - lc}, {rf, rc, r - rf}};
    const std::int32_t down[3][3] = {{tf, tc, tc - t}, {tc, bf, bf - tc}, {bf, bc, b - bf}};
    std::int64_t sums[3] = {0, 0, 0};
    for (const auto& v : down) {
        for (const auto& h : across) {
            accumulateRegion(&source, h[0], v[0], h[1], v[1], &sums[0], &sums[1], &sums[2],
                             std::int64_t{h[2]} * v[2], source.width, source.height);
        }
    }
    for (int c = 0; c < 3; ++c) {
        const std::int64_t value = sums[c] / ((std::int64_t{r - l} * (b - t)) >> 7);
        out[c] = static_cast<std::uint8_t>(value > 255 ? 255 : value);
    }
}

std::vector<std::uint8_t> referenceReduce(const RgbImage& source, int dw, int dh) {
    std::vector<std::uint8_t> bytes(3 * static_cast<std::size_t>(dw) * dh);
    for (int at = 0; at < dw * dh; ++at)
        referencePixel(source, dw, dh, at % dw, at / dw, &bytes[3 * at]);
    return bytes;
}

TEST(ReduceImage, WorkedGreyResults) {
    std::vector<int> halves(360000, 0);  // 600 x 600, left half 0, right 200: sums beyond 32 bits
    for (int i = 0; i < 360000; i += 600)
        std::fill_n(halves.begin() + i + 300, 300, 200);
    struct Case {
        int sourceWidth, sourceHeight;
        std::vector<int> source;
        int width, height;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {2, 1, {10, 21}, 1, 1, {15}},
        {3, 1, {0, 255, 255}, 2, 1, {85, 255}},
        {6, 3, std::vector<int>(18, 200), 5, 2, {200, 199, 200, 200, 200, 200, 199, 200, 200, 200}},
        {600, 600, halves, 1, 1, {99}},
    };
    for (const Case& c : cases) {
        RgbImage source = testsupport::makeGreyImage(c.sourceWidth, c.sourceHeight, c.source);
        RgbImage dest{};
        ASSERT_EQ(reduceImage(&dest, c.width, c.height, &source), 0);
        EXPECT_EQ(dest.status, 0);
        const std::vector<std::uint8_t> bytes = imageBytes(dest);
        std::vector<int> greys;
        for (std::size_t at = 0; at < bytes.size(); at += 3)
            greys.push_back(bytes[at]);
        EXPECT_EQ(greys, c.expected) << c.sourceWidth << "x" << c.sourceHeight;
        rgbImageFree(&dest);
        rgbImageFree(&source);
    }
}

// Cells below two pixels, tall and wide cells, the same size (a copy), one cell over everything.
TEST(ReduceImage, MatchesTheNineRegionsAtManySizes) {
    for (const auto& [sw, sh] : {std::pair{37, 29}, {5, 64}}) {
        RgbImage source = makeNoise(sw, sh, 11);
        for (int width = 1; width <= sw; ++width) {
            for (int height = sh; height >= 1; height -= 3) {
                SCOPED_TRACE(testing::Message()
                             << sw << "x" << sh << " to " << width << "x" << height);
                RgbImage dest{};
                ASSERT_EQ(reduceImage(&dest, width, height, &source), 0);
                ASSERT_EQ(imageBytes(dest), width == sw && height == sh
                                                ? imageBytes(source)
                                                : referenceReduce(source, width, height));
                rgbImageFree(&dest);
            }
        }
        rgbImageFree(&source);
    }
}

TEST(ReduceImage, StopsAtTheFirstEdgeBeyond32BitsKeepingThePixelsBefore) {
    RgbImage source = makeNoise(5000, 1, 3);
    RgbImage dest{};
    EXPECT_EQ(reduceImage(&dest, 4000, 1, &source), 1);
    EXPECT_EQ(dest.status, 0);
    std::vector<std::uint8_t> expected(3 * 3355);  // columns 0 to 3354
    for (int x = 0; x < 3355; ++x)
        referencePixel(source, 4000, 1, x, 0, &expected[3 * x]);
    EXPECT_EQ(std::vector<std::uint8_t>(dest.rows[0], dest.rows[0] + expected.size()), expected);
    rgbImageFree(&dest);
    rgbImageFree(&source);
}

TEST(ReduceImage, StatusWords) {
    RgbImage source = makeNoise(3, 3, 2);
    RgbImage failed = source;
    failed.status = 0x8000001;
    struct Case {
        const RgbImage* source;
        int width, height, result, status;
    };
    // clang-format off
    for (const Case& c : {Case{&failed, 2, 2, 0x4000, 0x4000},
                          Case{&source, 70000, 70000, 0x8000, 0x8001}}) {
        // clang-format on
        RgbImage dest{};
        dest.status = 0x7;
        EXPECT_EQ(reduceImage(&dest, c.width, c.height, c.source), c.result) << c.width;
        EXPECT_EQ(dest.status, c.status) << c.width;
        rgbImageFree(&dest);
    }
    rgbImageFree(&source);
}

}  // namespace
