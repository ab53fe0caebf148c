// Target size and dispatch: the sizes derived from a source, which path made the result, and
// the status word of every failure.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>

#include "resample/enlarge.h"
#include "resample/reduce.h"
#include "resample/resize.h"
#include "test_support.h"

namespace {

using testsupport::imageBytes;
using testsupport::makeNoise;

constexpr std::int32_t kMax = 2147483647;

// A target larger than the source on an axis is the enlargement reduced, any other the source
// reduced. Columns: source size, requested size, exactSize, target size.
TEST(ResizeImage, TargetsAndPaths) {
    const int cases[][7] = {
        {200, 150, 40, 0, 1, 40, 30},      {200, 150, 0, 45, 1, 60, 45},
        {200, 150, 99, 77, 0, 99, 74},     {200, 150, 400, 100, 0, 133, 100},
        {200, 150, 0, 300, 0, 400, 300},   {200, 150, 201, 150, 1, 201, 150},
        {200, 150, 300, 100, 1, 300, 100}, {200, 150, -kMax - 1, 5, 1, 6, 5},
        {200, 150, 200, 300, 0, 200, 150}, {1, 50, 0, 100, 1, 2, 100},
    };
    for (const auto& [sw, sh, width, height, exact, tw, th] : cases) {
        SCOPED_TRACE(testing::Message() << sw << "x" << sh << " to " << width << " " << height);
        RgbImage source = makeNoise(sw, sh, 21);
        RgbImage dest{0x3, 0, 0, nullptr};
        ASSERT_EQ(resizeImage(&dest, width, height, &source, exact), 0);
        EXPECT_EQ(dest.status, 0);
        RgbImage enlarged{};
        const bool larger = tw > sw || th > sh;
        if (larger) {
            ASSERT_EQ(enlargeImage(&enlarged, tw, th, &source), 0);
        }
        RgbImage reduced{};
        ASSERT_EQ(reduceImage(&reduced, tw, th, larger ? &enlarged : &source), 0);
        EXPECT_EQ(imageBytes(dest), imageBytes(reduced));
        for (RgbImage* image : {&dest, &enlarged, &reduced, &source})
            rgbImageFree(image);
    }
}

// Runs `step` in a child process whose address space may grow by `headroom` bytes only; 0 when
// it returned true.
template <typename Step>
int exitStatusWithHeadroom(std::size_t headroom, Step step) {
    const pid_t child = fork();
    if (child == 0) {
        std::size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlimit limit{pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + headroom,
                           RLIM_INFINITY};
        _exit(setrlimit(RLIMIT_AS, &limit) == 0 && step() ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    return status;
}

// Columns: source size and status, requested size, result, and the size a reduction refused
// for its edge products leaves (0 x 0: untouched). Such a refusal needs no memory.
TEST(ResizeImage, EveryFailureLeavesItsOwnStatus) {
    const int cases[][8] = {
        {200, 150, 0x10000000, 40, 0, 0x100000, 0, 0},
        {200, 150, 0x8000001, 0, -3, 0x100000, 0, 0},  // the source comes before the sizes
        {0, 150, 0, 40, 0, 0x100000, 0, 0},
        {200, 150, 0, 0, -3, 0x200000, 0, 0},
        {3, 1, 0, 0, kMax, 0x200000, 0, 0},
        {200, 150, 0, kMax, 1, 0x400000, 0, 0},
        {200, 150, 0, kMax, kMax, 0x400000, 0, 0},
        {5000, 1, 0, 4000, 1, 0x800000, 4000, 1},
        {1, 65535, 0, 64, 0, 0x800000, 64, 4194240},
    };
    for (const auto& [sw, sh, sourceStatus, width, height, result, tw, th] : cases) {
        SCOPED_TRACE(testing::Message() << sw << "x" << sh << " to " << width << " " << height);
        RgbImage source = sw > 0 ? makeNoise(sw, sh, 1) : RgbImage{0, sw, sh, nullptr};
        RgbImage view = source;
        view.status = sourceStatus;
        RgbImage dest{0x6, 0, 0, nullptr};
        EXPECT_EQ(resizeImage(&dest, width, height, &view, 1), result);
        EXPECT_EQ(dest.status, result);
        EXPECT_EQ(dest.width, tw);
        EXPECT_EQ(dest.height, th);
        EXPECT_EQ(dest.rows, nullptr);
#if !defined(__SANITIZE_ADDRESS__)
        if (result == 0x800000) {  // refused before anything is built: no room needed
            EXPECT_EQ(exitStatusWithHeadroom(1u << 20,
                                             [&] {
                                                 RgbImage again{};
                                                 return resizeImage(&again, width, height, &view,
                                                                    1) == result;
                                             }),
                      0);
        }
#endif
        rgbImageFree(&source);
    }
}

// The heap refuses the reduction's block after the enlargement got its own (2001 x 2001 enlarged
// by 2000: two blocks of 12 MB, room for one): the reduction's 0x8001 stays under the added bit.
TEST(ResizeImage, AReductionRefusedAfterTheEnlargementKeepsItsStatus) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory needs an unlimited address space";
#endif
    RgbImage source = makeNoise(2, 2, 5);
    EXPECT_EQ(exitStatusWithHeadroom(18u << 20,
                                     [&] {
                                         RgbImage dest{};
                                         return resizeImage(&dest, 2001, 2001, &source, 1) ==
                                                    0x800000 &&
                                                dest.status == 0x808001 && dest.rows == nullptr;
                                     }),
              0);
    rgbImageFree(&source);
}

// Without its block of column totals (24 MB for a source 2,000,000 wide, refused here) the
// reduction reads the rows themselves, with the same result.
TEST(ResizeImage, AReductionWithoutItsColumnTotalsGivesTheSamePixels) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory needs an unlimited address space";
#endif
    RgbImage source = makeNoise(2000000, 3, 6);
    RgbImage expected{};
    ASSERT_EQ(resizeImage(&expected, 3, 1, &source, 1), 0);
    EXPECT_EQ(exitStatusWithHeadroom(8u << 20,
                                     [&] {
                                         RgbImage dest{};
                                         return resizeImage(&dest, 3, 1, &source, 1) == 0 &&
                                                imageBytes(dest) == imageBytes(expected);
                                     }),
              0);
    rgbImageFree(&expected);
    rgbImageFree(&source);
}

}  // namespace
