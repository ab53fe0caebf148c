// Nothing is lost when a conversion fails: run the real program on every kind of failure and
// check that an existing destination, the source and a "cv.html" of someone else's keep their
// bytes, that the exit status is 1 and that the only diagnostic is the conversion message.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;

const std::string foreignDocument = "<!DOCTYPE html>\n<title>Mon CV</title>\n<p>Ã  garder</p>\n";
const Bytes previousDestination = {0x00, 0x00, 0x02, 0x01, 0x40, 'o', 'l', 'd'};

std::string readText(const std::string& path) {
    const Bytes bytes = testsupport::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string conversionMessage(const std::string& srcPath) {
    return "*** varnock ERROR \"" + srcPath + "\"\n\n";
}

void putLe16(Bytes* bytes, int value) {
    bytes->push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes->push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

// 35 bytes announcing a first image of width x height; libgd would fill it from nothing.
Bytes announcingGif(int width, int height) {
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
    putLe16(&gif, width);
    putLe16(&gif, height);
    for (const std::uint8_t byte : {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x2C}) {
        gif.push_back(byte);
    }
    putLe16(&gif, 0);
    putLe16(&gif, 0);
    putLe16(&gif, width);
    putLe16(&gif, height);
    for (const std::uint8_t byte : {0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B})
        gif.push_back(byte);
    return gif;
}

// A 200 x 150 picture in four colours, drawn with libgd.
void writePicture(const std::string& path) {
    testsupport::GifPicture gif;
    gif.width = 200;
    gif.height = 150;
    gif.palette = {0x000000, 0xFFFFFF, 0xC03020, 0x2040A0};
    for (std::int32_t y = 0; y < gif.height; ++y) {
        for (std::int32_t x = 0; x < gif.width; ++x)
            gif.indices.push_back((x / 7 + y / 5) % 4);
    }
    testsupport::writeGif(path, gif);
}

// How the source of a case is made inside the working folder.
enum class Source { None, Picture, Sample, Raw };

struct Case {
    const char* name;
    Source source;
    const char* sample = "";  // under tests/data/gif, for Source::Sample
    Bytes bytes = {};         // for Source::Raw
    std::string width = "0";
    std::string height = "0";
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class FailedConversion : public ::testing::TestWithParam<Case> {};

// Every check that holds after a failed run, whatever failed.
void expectNothingLost(const testsupport::RunResult& run, const testsupport::ScratchDir& work,
                       const std::string& srcName, const Bytes& sourceBefore) {
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, conversionMessage(srcName));
    EXPECT_EQ(readText(work.file("cv.html")), foreignDocument);
    if (!sourceBefore.empty()) {
        EXPECT_EQ(testsupport::readFile(work.file(srcName)), sourceBefore);
    }
}

const std::string sourceName = "source picture %s.gif";  // a name printf must not interpret

Bytes prepareSource(const Case& c, const testsupport::ScratchDir& work) {
    const std::string path = work.file(sourceName);
    switch (c.source) {
        case Source::None:
            return {};
        case Source::Picture:
            writePicture(path);
            break;
        case Source::Sample:
            fs::copy_file(testsupport::dataPath(std::string("gif/") + c.sample), path);
            break;
        case Source::Raw:
            testsupport::writeFile(path, c.bytes);
            break;
    }
    return testsupport::readFile(path);
}

TEST_P(FailedConversion, BeforeTheDestinationIsOpenedEverythingKeepsItsBytes) {
    const Case& c = GetParam();
    testsupport::ScratchDir work;
    testsupport::writeText(work.file("cv.html"), foreignDocument);
    testsupport::writeFile(work.file("dest.wbmp"), previousDestination);
    const Bytes sourceBefore = prepareSource(c, work);

    const auto run =
        testsupport::runVarnock({sourceName, "dest.wbmp", c.width, c.height}, work.path().string());
    expectNothingLost(run, work, sourceName, sourceBefore);
    EXPECT_EQ(testsupport::readFile(work.file("dest.wbmp")), previousDestination);
}

TEST_P(FailedConversion, ANewDestinationIsNotCreated) {
    const Case& c = GetParam();
    testsupport::ScratchDir work;
    testsupport::writeText(work.file("cv.html"), foreignDocument);
    const Bytes sourceBefore = prepareSource(c, work);

    const auto run =
        testsupport::runVarnock({sourceName, "new.wbmp", c.width, c.height}, work.path().string());
    expectNothingLost(run, work, sourceName, sourceBefore);
    EXPECT_FALSE(fs::exists(work.file("new.wbmp")));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailedConversion,
    ::testing::Values(
        Case{"MissingSource", Source::None},
        Case{"TruncatedAfterTheScreen", Source::Sample, "imrs-truncated-15-bytes.gif"},
        Case{"ImageWiderThanItsScreen", Source::Sample, "nsgif-lzw-oob.gif"},
        Case{"FrameOutsideTheScreen", Source::Sample, "ptest-frames-out-of-bounds.gif"},
        Case{"UnknownSignature", Source::Sample, "nsgif-fuzz-gif88a.gif"},
        Case{"OversizedFrame", Source::Sample, "imrs-oversized-frame.gif"},
        Case{"EmptyFile", Source::Raw, "", {}},
        Case{"TextFile", Source::Raw, "", {'G', 'I', 'F', '?', '\n'}},
        Case{"AnnouncesFortyThousandSquared", Source::Raw, "", announcingGif(40000, 40000)},
        Case{"AnnouncesJustAboveTheCeiling", Source::Raw, "", announcingGif(4096, 4097)},
        Case{"AnnouncesTheLargestGif", Source::Raw, "", announcingGif(65535, 65535)},
        Case{"NegativeWidthAlone", Source::Picture, "", {}, "-3", "0"},
        Case{"NegativeHeightAlone", Source::Picture, "", {}, "0", "-3"},
        Case{"BothNegative", Source::Picture, "", {}, "-1", "-2147483648"},
        Case{"DerivedHeightZero", Source::Picture, "", {}, "1", "0"},
        Case{"DerivedWidthZero", Source::Sample, "pixbuf-max-height-1x65535.gif", {}, "0", "100"},
        Case{"LargestWidthDerivedHeight", Source::Picture, "", {}, "2147483647", "0"},
        Case{"LargestHeightDerivedWidth", Source::Picture, "", {}, "0", "2147483647"},
        Case{"LargestBoth", Source::Picture, "", {}, "2147483647", "2147483647"},
        Case{"WrappedToLargest", Source::Picture, "", {}, "6442450943", "6442450943"},
        Case{"HundredThousandSquared", Source::Picture, "", {}, "100000", "100000"},
        Case{"BeyondTheReductionLimit", Source::Picture, "", {}, "4097", "4097"},
        Case{"OnePixelWideButTall", Source::Picture, "", {}, "1", "16777216"}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

// Runs a valid conversion to `destination` (relative to the working folder) and checks
// everything that a failed run must leave as it was.
testsupport::RunResult runToUnusableDestination(const testsupport::ScratchDir& work,
                                                const std::string& destination) {
    testsupport::writeText(work.file("cv.html"), foreignDocument);
    writePicture(work.file(sourceName));
    const Bytes sourceBefore = testsupport::readFile(work.file(sourceName));
    auto run = testsupport::runVarnock({sourceName, destination, "0", "0"}, work.path().string());
    expectNothingLost(run, work, sourceName, sourceBefore);
    return run;
}

TEST(UnusableDestination, InAMissingFolderNothingIsCreated) {
    testsupport::ScratchDir work;
    runToUnusableDestination(work, "missing/dest.wbmp");
    EXPECT_FALSE(fs::exists(work.file("missing")));
}

TEST(UnusableDestination, AFolderOfThatNameKeepsItsContents) {
    testsupport::ScratchDir work;
    fs::create_directory(work.file("dest.wbmp"));
    testsupport::writeFile(work.file("dest.wbmp/inside"), previousDestination);
    runToUnusableDestination(work, "dest.wbmp");
    EXPECT_TRUE(fs::is_directory(work.file("dest.wbmp")));
    EXPECT_EQ(testsupport::readFile(work.file("dest.wbmp/inside")), previousDestination);
}

TEST(UnusableDestination, AFullDeviceIsReported) {
    testsupport::ScratchDir work;
    runToUnusableDestination(work, "/dev/full");
}

TEST(UnusableDestination, TheSourceAsItsOwnDestinationSurvivesARefusedSize) {
    testsupport::ScratchDir work;
    testsupport::writeText(work.file("cv.html"), foreignDocument);
    writePicture(work.file(sourceName));
    const Bytes sourceBefore = testsupport::readFile(work.file(sourceName));
    const auto run =
        testsupport::runVarnock({sourceName, sourceName, "-3", "0"}, work.path().string());
    expectNothingLost(run, work, sourceName, sourceBefore);
}

// The same set-up succeeds when nothing is wrong: the checks above are not vacuous.
TEST(SuccessfulConversion, ReplacesTheDestinationAndKeepsTheRest) {
    testsupport::ScratchDir work;
    testsupport::writeText(work.file("cv.html"), foreignDocument);
    testsupport::writeFile(work.file("dest.wbmp"), previousDestination);
    writePicture(work.file(sourceName));
    const Bytes sourceBefore = testsupport::readFile(work.file(sourceName));
    const auto run =
        testsupport::runVarnock({sourceName, "dest.wbmp", "0", "0"}, work.path().string());
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    const Bytes written = testsupport::readFile(work.file("dest.wbmp"));
    ASSERT_EQ(written.size(), 4u + 2u + 25u * 150u);  // 200 = 81 48, 150 = 81 16
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 6),
              (Bytes{0x00, 0x00, 0x81, 0x48, 0x81, 0x16}));
    EXPECT_EQ(testsupport::readFile(work.file(sourceName)), sourceBefore);
    EXPECT_EQ(readText(work.file("cv.html")), foreignDocument);
}

}  // namespace
