// The program end to end, through its real command line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::GifPicture;
using testsupport::RunResult;
using testsupport::ScratchDir;

const std::string kBanner =
    "varnock : conversion d'images GIF en images WAP (WBMP)\n"
    "Logiciels downloadables sur " VARNOCK_HOMEPAGE
    "\n"
    "Quand on les utilise, ils recopient mon CV, merci de le lire...\n"
    "\n";

const std::string kUsage =
    "utilisation :\n"
    "\n"
    "   varnock  srce.gif  dest.wbmp  widthOrZero  heightOrZero\n"
    "\n"
    "arguments :\n"
    "\n"
    "   srce.gif         fichier GIF d'origine\n"
    "   dest.wbmp        image WAP qui sera construite\n"
    "   widthOrZero      largeur de l'image WAP, ou 0 (automatique)\n"
    "   heightOrZero     hauteur de l'image WAP, ou 0 (automatique)\n"
    "\n"
    "exemple sur une image d'origine de 200 de large et 150 de haut :\n"
    "\n"
    "   widthOrZero   heightOrZero   largeur WAP   hauteur WAP\n"
    "        0              O            200           150\n"
    "       40              0             40            30\n"
    "        0             45             60            45\n"
    "       99             77             99            77\n"
    "\n"
    "on peut construire une image WAP plus grande que l'origine GIF.\n"
    "\n";

std::string conversionError(const std::string& source) {
    return "*** varnock ERROR \"" + source + "\"\n\n";
}

// A 200 x 150 picture with a few colours, as in the usage text's examples.
void writeUsageExampleGif(const std::string& path) {
    GifPicture gif{200, 150, {0x102030, 0xF0E0D0, 0x808080}, {}};
    for (std::int32_t i = 0; i < 200 * 150; ++i)
        gif.indices.push_back((i % 200 / 25 + i / 200 / 30) % 3);
    testsupport::writeGif(path, gif);
}

// The width and height stored at the start of a WBMP whose sides are each one or two bytes.
std::pair<int, int> wbmpSize(const Bytes& file) {
    std::size_t at = 2;
    auto read = [&]() {
        int value = 0;
        while (at < file.size()) {
            const std::uint8_t byte = file[at++];
            value = (value << 7) | (byte & 0x7F);
            if ((byte & 0x80) == 0) break;
        }
        return value;
    };
    const int width = read();
    const int height = read();
    return {width, height};
}

TEST(Program, WrongArgumentCountsPrintTheBannerAndTheUsage) {
    const std::vector<std::vector<std::string>> counts = {
        {}, {"a.gif", "b.wbmp", "40"}, {"a.gif", "b.wbmp", "40", "30", "extra"}};
    for (const auto& args : counts) {
        ScratchDir dir;
        const RunResult run = testsupport::runVarnock(args, dir.path().string());
        EXPECT_EQ(run.exitStatus, 0) << args.size();
        EXPECT_EQ(run.out, kBanner + kUsage) << args.size();
        EXPECT_EQ(run.err, "") << args.size();
        EXPECT_TRUE(fs::exists(dir.file("cv.html"))) << args.size();
        EXPECT_FALSE(fs::exists(dir.file("a.gif"))) << args.size();
    }
}

TEST(Program, ConvertsAtTheGifsOwnSize) {
    ScratchDir dir;
    const std::string source = testsupport::dataPath("gif/giflib-treescap-87a.gif");
    for (const auto& sizes :
         std::vector<std::pair<std::string, std::string>>{{"0", "0"}, {"abc", "xyz"}}) {
        const RunResult run = testsupport::runVarnock(
            {source, "out.wbmp", sizes.first, sizes.second}, dir.path().string());
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.out, kBanner);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(testsupport::readFile(dir.file("out.wbmp")),
                  testsupport::readFile(
                      testsupport::dataPath("expected/giflib-treescap-87a__0__0.wbmp")));
    }
}

TEST(Program, UsageExamplesGiveTheirSizes) {
    ScratchDir dir;
    writeUsageExampleGif(dir.file("example.gif"));
    struct Case {
        const char* width;
        const char* height;
        int outWidth;
        int outHeight;
    };
    for (const Case& c :
         {Case{"0", "0", 200, 150}, Case{"40", "0", 40, 30}, Case{"0", "45", 60, 45},
          Case{"99", "77", 99, 77}, Case{"40px", " +30", 40, 30}, Case{"-5", "45", 60, 45},
          Case{"0", "300", 400, 300}}) {
        const RunResult run = testsupport::runVarnock(
            {"example.gif", "out.wbmp", c.width, c.height}, dir.path().string());
        EXPECT_EQ(run.exitStatus, 0) << c.width << " " << c.height;
        EXPECT_EQ(run.err, "") << c.width << " " << c.height;
        const Bytes file = testsupport::readFile(dir.file("out.wbmp"));
        ASSERT_GE(file.size(), 4u);
        EXPECT_EQ(wbmpSize(file), std::make_pair(c.outWidth, c.outHeight))
            << c.width << " " << c.height;
        const std::size_t rowBytes = static_cast<std::size_t>((c.outWidth + 7) / 8);
        EXPECT_EQ(file.size(), 2 + (c.outWidth > 127 ? 2u : 1u) + (c.outHeight > 127 ? 2u : 1u) +
                                   rowBytes * static_cast<std::size_t>(c.outHeight));
    }
}

// Every failure names the source as typed, exits 1 and leaves an existing destination alone.
TEST(Program, FailedConversionsNameTheSourceAndKeepTheDestination) {
    ScratchDir dir;
    writeUsageExampleGif(dir.file("example.gif"));
    testsupport::writeText(dir.file("damaged.gif"), "GIF89a\x10");
    struct Case {
        std::string source;
        const char* width;
        const char* height;
    };
    for (const Case& c : {Case{"missing.gif", "0", "0"}, Case{"./missing dir/x.gif", "10", "10"},
                          Case{"damaged.gif", "0", "0"}, Case{"example.gif", "-3", "0"},
                          Case{"example.gif", "0", "-3"}, Case{"example.gif", "1", "0"}}) {
        const Bytes before = {'k', 'e', 'e', 'p', 0, 0xFF};
        testsupport::writeFile(dir.file("out.wbmp"), before);
        const RunResult run =
            testsupport::runVarnock({c.source, "out.wbmp", c.width, c.height}, dir.path().string());
        EXPECT_EQ(run.exitStatus, 1) << c.source << " " << c.width << " " << c.height;
        EXPECT_EQ(run.out, kBanner);
        EXPECT_EQ(run.err, conversionError(c.source))
            << c.source << " " << c.width << " " << c.height;
        EXPECT_EQ(testsupport::readFile(dir.file("out.wbmp")), before)
            << c.source << " " << c.width;
    }
}

TEST(Program, AMissingSourceCreatesNoDestination) {
    ScratchDir dir;
    const RunResult run =
        testsupport::runVarnock({"nowhere.gif", "new.wbmp", "0", "0"}, dir.path().string());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, conversionError("nowhere.gif"));
    EXPECT_FALSE(fs::exists(dir.file("new.wbmp")));
}

TEST(Program, DestinationsThatCannotBeWrittenAreReported) {
    ScratchDir dir;
    const std::string source = testsupport::dataPath("gif/giflib-treescap-87a.gif");
    fs::create_directory(dir.file("taken.wbmp"));
    for (const std::string destination : {"no such dir/out.wbmp", "taken.wbmp", "/dev/full"}) {
        const RunResult run =
            testsupport::runVarnock({source, destination, "0", "0"}, dir.path().string());
        EXPECT_EQ(run.exitStatus, 1) << destination;
        EXPECT_EQ(run.err, conversionError(source)) << destination;
    }
    EXPECT_FALSE(fs::exists(dir.file("no such dir")));
    EXPECT_TRUE(fs::is_directory(dir.file("taken.wbmp")));
    EXPECT_TRUE(fs::exists("/dev/full"));
}

TEST(Program, LibraryWarningsNeverReachStandardError) {
    ScratchDir dir;
    // A screen and image of 0 x 0 pixels: libgd would complain about it on its own.
    testsupport::writeFile(
        dir.file("empty.gif"),
        {'G', 'I',  'F', '8', '9', 'a', 0, 0, 0, 0, 0x80, 0, 0, 0,    0,    0, 255, 255,
         255, 0x2C, 0,   0,   0,   0,   0, 0, 0, 0, 0,    2, 2, 0x44, 0x01, 0, 0x3B});
    for (const char* file : {"empty.gif", VARNOCK_TEST_DATA "/gif/nsgif-lzw-oob.gif",
                             VARNOCK_TEST_DATA "/gif/imrs-oversized-frame.gif"}) {
        const RunResult run =
            testsupport::runVarnock({file, "out.wbmp", "0", "0"}, dir.path().string());
        EXPECT_EQ(run.exitStatus, 1) << file;
        EXPECT_EQ(run.err, conversionError(file)) << file;
    }
}

TEST(Program, AnExistingDestinationIsReplacedNotAppended) {
    ScratchDir dir;
    const std::string source = testsupport::dataPath("gif/giflib-treescap-87a.gif");
    testsupport::writeFile(dir.file("out.wbmp"), Bytes(100000, 0x55));
    const RunResult run =
        testsupport::runVarnock({source, "out.wbmp", "0", "0"}, dir.path().string());
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(
        testsupport::readFile(dir.file("out.wbmp")),
        testsupport::readFile(testsupport::dataPath("expected/giflib-treescap-87a__0__0.wbmp")));
}

}  // namespace
