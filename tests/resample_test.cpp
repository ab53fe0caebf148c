// Resampling: the reduction and the enlargement against models written from their rules, the
// sizes and paths of resizeImage, and every failure's status, some under a limited address space.
#include <gtest/gtest.h>

#include <gd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "mono/dither.h"
#include "mono/wbmp_export.h"
#include "resample/enlarge.h"
#include "resample/reduce.h"
#include "resample/resize.h"
#include "test_support.h"

namespace {

using testsupport::imageBytes;
using testsupport::makeNoise;
using Wide = std::int64_t;
constexpr std::int32_t kMax = INT32_MAX;

// Reduced pixel (x, y) on a grid of 1/128 pixel: a cell side from lo to hi splits into a first
// partial band, whole pixels and a last partial band; each of the nine regions adds the truncated
// mean of its source pixels times its area >> 7, and the sum is divided by the cell's area >> 7.
void reducedPixel(const RgbImage& s, Wide dw, Wide dh, Wide x, Wide y, std::uint8_t* out) {
    const Wide l = x * s.width * 128 / dw, r = (x + 1) * s.width * 128 / dw;
    const Wide t = y * s.height * 128 / dh, b = (y + 1) * s.height * 128 / dh;
    const auto bands = [](Wide lo, Wide hi) {  // first sub-pixel, end sub-pixel, width
        const Wide f = lo & ~127, e = hi & ~127;
        return std::vector<std::vector<Wide>>{
            {f, f + 128, f + 128 - lo}, {f + 128, e, e - f - 128}, {e, e + 128, hi - e}};
    };
    Wide sums[3] = {0, 0, 0};
    for (const auto& v : bands(t, b)) {
        for (const auto& h : bands(l, r)) {
            const Wide x0 = h[0] >> 7, x1 = std::min<Wide>(h[1] >> 7, s.width);
            const Wide y0 = v[0] >> 7, y1 = std::min<Wide>(v[1] >> 7, s.height);
            for (int c = 0; c < 3 && x0 < x1 && y0 < y1; ++c) {
                Wide total = 0;
                for (Wide at = 0; at < (x1 - x0) * (y1 - y0); ++at)
                    total += s.rows[y0 + at / (x1 - x0)][3 * (x0 + at % (x1 - x0)) + c];
                sums[c] += total / ((x1 - x0) * (y1 - y0)) * ((h[2] * v[2]) >> 7);
            }
        }
    }
    const Wide area = ((r - l) * (b - t)) >> 7;  // below one, the cell is black
    for (int c = 0; c < 3; ++c)
        out[c] = std::uint8_t(area == 0 ? 0 : std::min<Wide>(sums[c] / area, 255));
}

// Enlarged channel c at (x, y) by the blend formula with factors fx, fy: the cell between source
// columns j - 1, j and rows i - 1, i, l columns and k rows in; a 1-pixel axis repeats its pixel.
Wide blended(const RgbImage& s, Wide fx, Wide fy, Wide x, Wide y, int c) {
    const Wide j = std::clamp<Wide>(x / fx + 1, 1, std::max(s.width - 1, 1));
    const Wide i = std::clamp<Wide>(y / fy + 1, 1, std::max(s.height - 1, 1));
    const Wide l = x - (j - 1) * fx, k = y - (i - 1) * fy;
    const auto p = [&](Wide column, Wide row) -> Wide {
        return s
            .rows[std::min<Wide>(row, s.height - 1)][3 * std::min<Wide>(column, s.width - 1) + c];
    };
    return ((fy - k) * ((fx - l) * p(j - 1, i - 1) + l * p(j, i - 1)) +
            k * ((fx - l) * p(j - 1, i) + l * p(j, i))) /
           (fx * fy);
}

// Cells below two pixels, tall and wide cells, one cell over everything, the same size (a copy);
// a 600 x 600 source whose weighted sums pass 32 bits, 4200 x 4200 white pixels whose region
// totals do, and a source without columns.
TEST(ReduceImage, MatchesTheRule) {
    RgbImage sources[] = {
        makeNoise(37, 29, 11), makeNoise(5, 64, 11), makeNoise(600, 600, 11),
        testsupport::makeImage(4200, 4200, testsupport::Bytes(3 * 4200 * 4200, 255)),
        makeNoise(0, 3, 11)};
    for (RgbImage& source : sources) {
        const int sw = source.width, sh = source.height;
        std::vector<std::pair<int, int>> sizes{{1, 1}, {3, 2}};
        for (int width = 1; sw < 600 && width <= sw; ++width) {
            for (int height = sh; height >= 1; height -= 3)
                sizes.emplace_back(width, height);
        }
        for (const auto& [width, height] : sizes) {
            RgbImage dest{};
            ASSERT_EQ(reduceImage(&dest, width, height, &source), 0);
            std::vector<std::uint8_t> expected(3 * static_cast<std::size_t>(width) * height);
            for (int at = 0; at < width * height; ++at)
                reducedPixel(source, width, height, at % width, at / width, &expected[3 * at]);
            ASSERT_EQ(imageBytes(dest), expected)
                << sw << "x" << sh << " to " << width << "x" << height;
            rgbImageFree(&dest);
        }
        rgbImageFree(&source);
    }
}

// Source size, requested size, result size, and the steps between the pixels checked: the
// source in the even columns; numerators beyond 32 bits, with the last row and column; a 1-pixel
// axis repeats its pixel, at least once; an axis asked smaller than its source keeps its size.
// clang-format off
const testsupport::NamedRow<8> kEnlargements[] = {{"SourceInTheEvenColumns", {200, 150, 201, 150, 399, 150, 1, 1}},
    {"Factor999", {2, 2, 1000, 1000, 1000, 1000, 3, 7}}, {"Beyond32BitsToTheLastRowAndColumn", {2, 2, 20000, 900, 20000, 900, 7, 29}},
    {"OneColumnRepeated", {1, 3, 2, 5, 2, 5, 1, 1}}, {"OneRowRepeated", {3, 1, 5, 2, 5, 2, 1, 1}},
    {"OnePixelAtLeastOnce", {1, 1, 0, -4, 1, 1, 1, 1}}, {"FactorThree", {2, 2, 4, 4, 4, 4, 1, 1}},
    {"FactorBelowOneRaisedToOne", {200, 150, 1, 300, 200, 448, 7, 3}}};
// clang-format on
TABLE_TEST(EnlargeImage, MatchesTheBlendFormula, kEnlargements) {
    const auto& [sw, sh, width, height, rw, rh, stepX, stepY] = std::get<1>(GetParam());
    RgbImage source = makeNoise(sw, sh, 4);
    RgbImage dest{};
    ASSERT_EQ(enlargeImage(&dest, width, height, &source), 0);
    ASSERT_EQ(std::tuple(dest.status, dest.width, dest.height), std::tuple(0, rw, rh));
    const Wide fx = sw == 1 ? 1 : (rw - 1) / (sw - 1), fy = sh == 1 ? 1 : (rh - 1) / (sh - 1);
    for (int y = 0; y < rh; y += stepY) {
        for (int x = 0; x < rw; x += stepX) {
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(dest.rows[y][3 * x + c], blended(source, fx, fy, x, y, c))
                    << x << "," << y;
        }
    }
    rgbImageFree(&dest);
    rgbImageFree(&source);
}

// A resize streams its rows: the enlargement made row by row as the reduction reads it (rows shared
// by two cells, packed cells of up to two pixels across, tall cells of column totals; an
// enlargement of exactly the target's size copied) gives the whole enlargement's reduction (a
// reduction alone: the model's), from an RgbImage and, as greys, from palette rows of the same
// colours; writeWbmpFile writes the RgbImage as the greys are written, dithering it in place.
// Columns: source, target.
TEST(ResizeImage, StreamsLikeTheWholeEnlargementFromEitherSource) {
    const int cases[][4] = {{37, 29, 80, 61},  {5, 7, 13, 40},  {2, 2, 1000, 3},
                            {1, 6, 9, 17},     {7, 1, 30, 4},   {40, 30, 33, 29},
                            {64, 48, 100, 30}, {3, 40, 200, 7}, {601, 4, 300, 3}};
    testsupport::ScratchDir dir;
    for (const auto& [sw, sh, width, height] : cases) {
        SCOPED_TRACE(testing::Message() << sw << "x" << sh << " to " << width << "x" << height);
        std::vector<int> colours(256), indices(std::size_t(sw) * sh);
        testsupport::Bytes rgb;
        for (int& colour : colours)
            colour = int(std::uint32_t(rand()) & 0xFFFFFF);
        for (int& index : indices) {
            index = rand() % 256;
            for (const int shift : {16, 8, 0})
                rgb.push_back(std::uint8_t(colours[std::size_t(index)] >> shift));
        }
        RgbImage source = testsupport::makeImage(sw, sh, rgb), whole{}, expected{}, streamed{};
        const bool larger = width > sw || height > sh;
        ASSERT_EQ(larger ? enlargeImage(&whole, width, height, &source) : 0, 0);
        ASSERT_EQ(reduceImage(&expected, width, height, larger ? &whole : &source), 0);
        ASSERT_EQ(resizeImage(&streamed, width, height, &source, 1), 0);
        EXPECT_EQ(imageBytes(streamed), imageBytes(expected));
        std::vector<std::uint8_t> model(3 * std::size_t(width) * height);
        for (int at = 0; !larger && at < width * height; ++at)
            reducedPixel(source, width, height, at % width, at / width, &model[3 * at]);
        EXPECT_TRUE(larger || imageBytes(expected) == model);

        gdImagePtr picture = testsupport::paletteImage(sw, sh, colours, indices);
        PaletteColours palette;
        gifPaletteColours(picture, &palette);
        const PixelSource rows = pixelSourceOfIndices(sw, sh, picture->pixels, &palette);
        ResizePlan plan{};
        GreyPicture grey{};
        ASSERT_EQ(resizePlan(width, height, sw, sh, 1, &plan), 0);
        ASSERT_EQ(resizeToGrey(&grey, &plan, &rows), 0);
        testsupport::Bytes greys;
        std::uint64_t sum = 0;
        const testsupport::Bytes bytes = imageBytes(expected);
        for (std::size_t at = 0; at < bytes.size(); at += 3) {
            greys.push_back(std::uint8_t((bytes[at] + bytes[at + 1] + bytes[at + 2]) / 3));
            sum += greys.back();
        }
        EXPECT_EQ(testsupport::Bytes(grey.pixels, grey.pixels + greys.size()), greys);
        EXPECT_EQ(grey.greySum, sum);
        ASSERT_EQ(writeWbmpFile(&streamed, dir.file("rgb.wbmp").c_str()), 0);
        ASSERT_EQ(writeGreyWbmpFile(&grey, dir.file("grey.wbmp").c_str()), 0);
        EXPECT_EQ(testsupport::readText(dir.file("rgb.wbmp")),
                  testsupport::readText(dir.file("grey.wbmp")));
        ditherToBlackWhite(&expected, -1);
        EXPECT_EQ(imageBytes(streamed), imageBytes(expected));
        std::free(grey.pixels);
        gdImageDestroy(picture);
        for (RgbImage* image : {&source, &whole, &expected, &streamed})
            rgbImageFree(image);
    }
}

// In scan order the reduction stops at the first row whose edge passes 32 bits, keeping the rows
// before it.
TEST(ReduceImage, StopsAtTheFirstEdgeBeyond32Bits) {
    RgbImage source = makeNoise(1, 20000, 2), dest{};
    EXPECT_EQ(reduceImage(&dest, 1, 20000, &source), 1);
    EXPECT_EQ(std::vector(dest.rows[837], dest.rows[837] + 3),
              std::vector(source.rows[837], source.rows[837] + 3));
    rgbImageFree(&dest);
    rgbImageFree(&source);
}

// A side of 0 or less is derived from the other; with exactSize 0 two sizes shrink to fit the box
// in the source's proportions. Columns: the request over 200 x 150, exactSize, the target.
// clang-format off
const testsupport::NamedRow<5> kTargets[] = {{"HeightDerived", {40, 0, 1, 40, 30}}, {"WidthDerived", {0, 45, 1, 60, 45}},
    {"WidthOfTheMostNegative", {-kMax - 1, 5, 1, 6, 5}}, {"ExactSize", {99, 77, 1, 99, 77}},
    {"BoxKeepsTheProportions", {99, 77, 0, 99, 74}}, {"WideBox", {400, 100, 0, 133, 100}},
    {"BoxOfADerivedWidth", {0, 300, 0, 400, 300}}, {"TallBox", {200, 300, 0, 200, 150}}};
// clang-format on
TABLE_TEST(ResizeTargetSize, DerivedSidesAndBoxes, kTargets) {
    const auto& [width, height, exact, tw, th] = std::get<1>(GetParam());
    std::int32_t w = -1, h = -1;
    EXPECT_EQ(resizeTargetSize(width, height, 200, 150, exact, &w, &h), 0);
    EXPECT_EQ(std::tuple(w, h), std::tuple(tw, th));
}

// Columns: the step (r reduceImage, e enlargeImage, z resizeImage with exactSize 1), the source's
// size (no pixels: no block) and status, the requested size, the result, the status left in a
// destination that held 0x6, and the size left there (-1: not checked). A resize refused for its
// edge products needs no memory; a derived side of 0 is no failure.
// clang-format off
const testsupport::NamedRow<10> kFailures[] = {
    {"ReduceFailedSource", {'r', 3, 3, 0x8000001, 2, 2, 0x4000, 0x4000, -1, -1}}, {"ReduceTooLarge", {'r', 3, 3, 0, 70000, 70000, 0x8000, 0x8001, -1, -1}},
    {"EnlargeFailedSource", {'e', 200, 150, 0x10000000, 400, 300, 0x40000, 0x40000, -1, -1}}, {"EnlargeNoColumns", {'e', 0, 3, 0, 4, 4, 0x40000, 0x40000, -1, -1}},
    {"EnlargeWidest", {'e', 200, 150, 0, kMax, 1, 0x80000, 0x80001, -1, -1}}, {"EnlargeTallest", {'e', 200, 150, 0, 1, kMax, 0x80000, 0x80001, -1, -1}},
    {"EnlargeTooLarge", {'e', 200, 150, 0, 100000, 100000, 0x80000, 0x80001, -1, -1}},
    {"ResizeFailedSource", {'z', 200, 150, 0x10000000, 40, 0, 0x100000, 0x100000, 0, 0}},
    {"ResizeSourceFirst", {'z', 200, 150, 0x8000001, 0, -3, 0x100000, 0x100000, 0, 0}},  // the source comes first
    {"ResizeNoColumns", {'z', 0, 3, 0, 40, 0, 0x100000, 0x100000, 0, 0}}, {"ResizeNoRows", {'z', 3, 0, 0, 40, 0, 0x100000, 0x100000, 0, 0}},
    {"ResizeNegativeHeight", {'z', 200, 150, 0, 0, -3, 0x200000, 0x200000, 0, 0}}, {"ResizeDerivedBeyond32Bits", {'z', 3, 1, 0, 0, kMax, 0x200000, 0x200000, 0, 0}},
    {"ResizeWidestReduction", {'z', 200, 150, 0, kMax, 1, 0x400000, 0x400000, 0, 0}}, {"ResizeLargestReduction", {'z', 200, 150, 0, kMax, kMax, 0x400000, 0x400000, 0, 0}},
    {"ResizeWidthEdgeProducts", {'z', 5000, 1, 0, 4000, 1, 0x800000, 0x800000, 4000, 1}},
    {"ResizeHeightEdgeProducts", {'z', 1, 65535, 0, 64, 0, 0x800000, 0x800000, 64, 4194240}}, {"ResizeDerivedSideOfZero", {'z', 5, 2, 0, 1, 0, 0, 0, 1, 0}}};
// clang-format on
TABLE_TEST(Resample, EveryFailureLeavesItsOwnStatus, kFailures) {
    const auto& [step, sw, sh, sourceStatus, width, height, result, status, tw, th] =
        std::get<1>(GetParam());
    RgbImage source = sw * sh > 0 ? makeNoise(sw, sh, 1) : RgbImage{0, sw, sh, nullptr};
    RgbImage view = source;
    view.status = sourceStatus;
    const auto run = [&, step = step, width = width, height = height](RgbImage* dest) {
        return step == 'r'   ? reduceImage(dest, width, height, &view)
               : step == 'e' ? enlargeImage(dest, width, height, &view)
                             : resizeImage(dest, width, height, &view, 1);
    };
    RgbImage dest{0x6, 0, 0, nullptr};
    EXPECT_EQ(run(&dest), result);
    EXPECT_EQ(std::tuple(dest.status, dest.rows == nullptr), std::tuple(status, result != 0));
    EXPECT_TRUE(tw < 0 || std::tuple(dest.width, dest.height) == std::tuple(tw, th));
#if !defined(__SANITIZE_ADDRESS__)
    if (result == 0x800000) {
        EXPECT_TRUE(testsupport::withHeadroom(1u << 20, [&] {
            RgbImage again{};
            return run(&again) == result;
        }));
    }
#endif
    rgbImageFree(&dest);
    rgbImageFree(&source);
}

// The heap refuses the reduction's block of 12 MB (2001 x 2001, enlarged by 2000 row by row): the
// reduction's 0x8001 stays under the added bit.
// Without its block of column totals (24 MB for a source 2,000,000 wide) the reduction reads the
// rows themselves, with the same result.
TEST(ResizeImage, RefusedBlocks) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory needs an unlimited address space";
#endif
    RgbImage small = makeNoise(2, 2, 5), wide = makeNoise(2000000, 3, 6), expected{};
    EXPECT_TRUE(testsupport::withHeadroom(8u << 20, [&] {
        RgbImage dest{};
        return resizeImage(&dest, 2001, 2001, &small, 1) == 0x800000 && dest.status == 0x808001 &&
               dest.rows == nullptr;
    }));
    ASSERT_EQ(resizeImage(&expected, 3, 1, &wide, 1), 0);
    EXPECT_TRUE(testsupport::withHeadroom(8u << 20, [&] {
        RgbImage dest{};
        return resizeImage(&dest, 3, 1, &wide, 1) == 0 && imageBytes(dest) == imageBytes(expected);
    }));
    for (RgbImage* image : {&small, &wide, &expected})
        rgbImageFree(image);
}

}  // namespace
