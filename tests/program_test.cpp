// The program end to end, through its real command line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::readFile;
using testsupport::RunResult;
using testsupport::runVarnock;
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

const std::string foreignDocument = "<!DOCTYPE html>\n<title>Mon CV</title>\n<p>Ã  garder</p>\n";
const Bytes previousDestination = {0x00, 0x00, 0x02, 0x01, 0x40, 'o', 'l', 'd'};
const std::string treescap = testsupport::dataPath("gif/giflib-treescap-87a.gif");

// A 200 x 150 picture in a few colours, as in the usage text's examples.
void writePicture(const std::string& path) {
    testsupport::GifPicture gif{200, 150, {0x102030, 0xF0E0D0, 0x808080, 0xC03020}, {}};
    for (std::int32_t i = 0; i < 200 * 150; ++i)
        gif.indices.push_back((i % 200 / 7 + i / 200 / 5) % 4);
    testsupport::writeGif(path, gif);
}

// 35 bytes announcing a first image of width x height, whose pixels libgd would make up.
Bytes announcingGif(int width, int height) {
    const auto lo = [](int v) { return static_cast<std::uint8_t>(v & 0xFF); };
    const auto hi = [](int v) { return static_cast<std::uint8_t>(v >> 8); };
    return {'G',        'I',  'F', '8', '9',  'a',  lo(width), hi(width), lo(height),
            hi(height), 0x80, 0,   0,   0,    0,    0,         0xFF,      0xFF,
            0xFF,       0x2C, 0,   0,   0,    0,    lo(width), hi(width), lo(height),
            hi(height), 0,    2,   2,   0x44, 0x01, 0,         0x3B};
}

// The names in `dir`, sorted.
std::vector<std::string> names(const ScratchDir& dir) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

// Runs the program in `dir` under `ulimit -f blocks` (512-byte blocks), standard output thrown
// away; returns its exit status (-1: killed) and what it wrote on standard error.
std::pair<int, std::string> runUnderFileLimit(int blocks, const std::vector<std::string>& args,
                                              const ScratchDir& dir) {
    ScratchDir capture;
    std::string command = "cd '" + dir.path().string() + "' && ulimit -f " +
                          std::to_string(blocks) + " && exec '" VARNOCK_EXE "'";
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    command += " >/dev/null 2>'" + capture.file("err") + "'";
    const int status = std::system(command.c_str());
    const Bytes err = readFile(capture.file("err"));
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(err.begin(), err.end())};
}

TEST(Program, WrongArgumentCountsPrintTheBannerAndTheUsage) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"a.gif", "b.wbmp", "40"}, {"a.gif", "b.wbmp", "40", "30", "extra"}}) {
        ScratchDir dir;
        const RunResult run = runVarnock(args, dir.path().string());
        EXPECT_EQ(run.exitStatus, 0) << args.size();
        EXPECT_EQ(run.out, kBanner + kUsage) << args.size();
        EXPECT_EQ(run.err, "") << args.size();
        EXPECT_TRUE(fs::exists(dir.file("cv.html"))) << args.size();
        EXPECT_FALSE(fs::exists(dir.file("b.wbmp"))) << args.size();
    }
}

TEST(Program, ReplacesTheDestinationAndKeepsAForeignDocument) {
    ScratchDir dir;
    testsupport::writeText(dir.file("cv.html"), foreignDocument);
    fs::copy_file(treescap, dir.file("source.gif"));
    for (const auto& [width, height] : {std::pair{"0", "0"}, std::pair{"abc", "xyz"}}) {
        testsupport::writeFile(dir.file("out.wbmp"), Bytes(100000, 0x55));
        const RunResult run =
            runVarnock({"source.gif", "out.wbmp", width, height}, dir.path().string());
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.out, kBanner);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(readFile(dir.file("out.wbmp")),
                  readFile(testsupport::dataPath("expected/giflib-treescap-87a__0__0.wbmp")));
    }
    EXPECT_EQ(readFile(dir.file("source.gif")), readFile(treescap));
    EXPECT_EQ(readFile(dir.file("cv.html")), Bytes(foreignDocument.begin(), foreignDocument.end()));
}

TEST(Program, UsageExamplesGiveTheirSizes) {
    ScratchDir dir;
    writePicture(dir.file("example.gif"));
    struct Case {
        const char *width, *height;
        Bytes header;
        std::size_t rowBytes, rows;
    };
    const Case cases[] = {
        {"0", "0", {0, 0, 0x81, 0x48, 0x81, 0x16}, 25, 150},
        {"40", "0", {0, 0, 40, 30}, 5, 30},
        {"0", "45", {0, 0, 60, 45}, 8, 45},
        {"99", "77", {0, 0, 99, 77}, 13, 77},
        {"40px", " +30", {0, 0, 40, 30}, 5, 30},
        {"-5", "45", {0, 0, 60, 45}, 8, 45},
        {"0", "300", {0, 0, 0x83, 0x10, 0x82, 0x2C}, 50, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " " << c.height);
        const RunResult run =
            runVarnock({"example.gif", "out.wbmp", c.width, c.height}, dir.path().string());
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.err, "");
        const Bytes file = readFile(dir.file("out.wbmp"));
        ASSERT_EQ(file.size(), c.header.size() + c.rowBytes * c.rows);
        EXPECT_EQ(Bytes(file.begin(), file.begin() + static_cast<long>(c.header.size())), c.header);
    }
}

// How the source of a failing case is made inside the working folder.
enum class Source { None, Picture, Sample, Raw };

struct Failure {
    Source source;
    std::string width = "0", height = "0";
    std::string sample = "";       // under tests/data/gif, or the raw bytes' description
    Bytes bytes = {};              // for Source::Raw
    std::string destination = "";  // empty: an existing dest.wbmp, then a new new.wbmp
};

// Every failure exits 1 with the banner and the one message naming the source as typed, and
// leaves the source, a foreign "cv.html" and any existing destination as they were.
TEST(Program, FailedConversionsLoseNothing) {
    const Failure cases[] = {
        {Source::None},
        {Source::Sample, "0", "0", "imrs-truncated-15-bytes.gif"},
        {Source::Sample, "0", "0", "nsgif-lzw-oob.gif"},  // also makes libgd warn
        {Source::Sample, "0", "0", "ptest-frames-out-of-bounds.gif"},
        {Source::Sample, "0", "0", "nsgif-fuzz-gif88a.gif"},
        {Source::Sample, "0", "0", "imrs-oversized-frame.gif"},
        {Source::Sample, "0", "100", "pixbuf-max-height-1x65535.gif"},  // derived width 0
        {Source::Raw, "0", "0", "empty file"},
        {Source::Raw, "0", "0", "text", {'G', 'I', 'F', '8', '9', 'a', '\n'}},
        {Source::Raw, "0", "0", "0 x 0, libgd warns", announcingGif(0, 0)},
        {Source::Raw, "0", "0", "one row past the ceiling", announcingGif(4096, 4097)},
        {Source::Raw, "0", "0", "largest GIF", announcingGif(65535, 65535)},
        {Source::Picture, "-3", "0"},
        {Source::Picture, "0", "-3"},
        {Source::Picture, "-1", "-2147483648"},
        {Source::Picture, "1", "0"},  // derived height 0
        {Source::Picture, "2147483647", "0"},
        {Source::Picture, "0", "2147483647"},
        {Source::Picture, "2147483647", "2147483647"},
        {Source::Picture, "6442450943", "6442450943"},
        {Source::Picture, "100000", "100000"},
        {Source::Picture, "4097", "4097"},
        {Source::Picture, "1", "16777216"},
        {Source::Picture, "0", "0", "", {}, "missing/dest.wbmp"},
        {Source::Picture, "0", "0", "", {}, "folder.wbmp"},
        {Source::Picture, "0", "0", "", {}, "/dev/full"},
        {Source::Picture, "-3", "0", "", {}, "source picture %s.gif"},  // its own destination
    };
    for (const Failure& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.sample << " " << c.width << " " << c.height << " " << c.destination);
        ScratchDir dir;
        const std::string source =
            c.source == Source::None ? "./missing dir/x.gif" : "source picture %s.gif";
        const std::string sourcePath = dir.file(source);
        if (c.source == Source::Picture) writePicture(sourcePath);
        if (c.source == Source::Sample) {
            fs::copy_file(testsupport::dataPath("gif/" + c.sample), sourcePath);
        }
        if (c.source == Source::Raw) testsupport::writeFile(sourcePath, c.bytes);
        const Bytes sourceBefore = c.source == Source::None ? Bytes{} : readFile(sourcePath);
        testsupport::writeText(dir.file("cv.html"), foreignDocument);
        testsupport::writeFile(dir.file("dest.wbmp"), previousDestination);
        fs::create_directory(dir.file("folder.wbmp"));
        testsupport::writeFile(dir.file("folder.wbmp/inside"), previousDestination);

        std::vector<std::string> destinations = {c.destination};
        if (c.destination.empty()) destinations = {"dest.wbmp", "new.wbmp"};
        for (const std::string& destination : destinations) {
            const RunResult run =
                runVarnock({source, destination, c.width, c.height}, dir.path().string());
            EXPECT_EQ(run.exitStatus, 1);
            EXPECT_EQ(run.out, kBanner);
            EXPECT_EQ(run.err, "*** varnock ERROR \"" + source + "\"\n\n");
        }
        if (c.source != Source::None) {
            EXPECT_EQ(readFile(sourcePath), sourceBefore);
        }
        EXPECT_EQ(readFile(dir.file("cv.html")),
                  Bytes(foreignDocument.begin(), foreignDocument.end()));
        EXPECT_EQ(readFile(dir.file("dest.wbmp")), previousDestination);
        EXPECT_EQ(readFile(dir.file("folder.wbmp/inside")), previousDestination);
        EXPECT_FALSE(fs::exists(dir.file("new.wbmp")));
        EXPECT_FALSE(fs::exists(dir.file("missing")));
    }
}

// A write cut short by the file size limit (as by a full disk) is reported and leaves every file
// as it was: an existing destination, the source written over itself, a link's target; no new
// destination, no cut cv.html and no unfinished file.
TEST(Program, AWriteBeyondTheFileSizeLimitLosesNothing) {
    const std::string destinations[] = {"dest.wbmp", "source.gif", "link.wbmp", "new.wbmp"};
    for (const std::string& destination : destinations) {
        SCOPED_TRACE(destination);
        ScratchDir dir;
        writePicture(dir.file("source.gif"));
        const Bytes source = readFile(dir.file("source.gif"));
        testsupport::writeFile(dir.file("dest.wbmp"), previousDestination);
        fs::create_symlink("dest.wbmp", dir.file("link.wbmp"));
        const auto [status, err] =
            runUnderFileLimit(4, {"source.gif", destination, "0", "300"}, dir);
        EXPECT_EQ(status, 1);
        EXPECT_EQ(err, "*** varnock ERROR \"source.gif\"\n\n");
        EXPECT_EQ(names(dir), (std::vector<std::string>{"dest.wbmp", "link.wbmp", "source.gif"}));
        EXPECT_EQ(readFile(dir.file("source.gif")), source);
        EXPECT_EQ(readFile(dir.file("dest.wbmp")), previousDestination);
        EXPECT_TRUE(fs::is_symlink(dir.file("link.wbmp")));
    }
}

// A destination replaced whole keeps its permission bits; a link stays a link and its target
// (missing too) gets the picture; /dev/stdout gets it after the banner, in place.
TEST(Program, WhatADestinationIsStaysAndOnlyItsBytesChange) {
    struct Case {
        std::string destination;
        std::string linkTo;  // makes the destination a link to this name
        mode_t mode;         // of an existing file (the link's target), 0: none
    };
    const Case cases[] = {{"dest.wbmp", "", 0640},       {"dest.wbmp", "", 0604},
                          {"dest.wbmp", "", 0},          {"link.wbmp", "dest.wbmp", 0600},
                          {"link.wbmp", "dest.wbmp", 0}, {"/dev/stdout", "", 0}};
    const Bytes picture =
        readFile(testsupport::dataPath("expected/giflib-treescap-87a__0__0.wbmp"));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.destination << " " << c.linkTo << " " << c.mode);
        ScratchDir dir;
        fs::copy_file(treescap, dir.file("source.gif"));
        testsupport::writeText(dir.file("cv.html"), foreignDocument);
        if (!c.linkTo.empty()) fs::create_symlink(c.linkTo, dir.file(c.destination));
        if (c.mode != 0) {
            testsupport::writeFile(dir.file("dest.wbmp"), Bytes(100000, 0x55));
            ASSERT_EQ(chmod(dir.file("dest.wbmp").c_str(), c.mode), 0);
        }
        const mode_t umaskWas = umask(022);
        umask(umaskWas);
        const RunResult run =
            runVarnock({"source.gif", c.destination, "0", "0"}, dir.path().string());
        EXPECT_EQ(run.exitStatus, 0);
        if (c.destination == "/dev/stdout") {
            EXPECT_EQ(run.out, kBanner + std::string(picture.begin(), picture.end()));
            EXPECT_EQ(names(dir), (std::vector<std::string>{"cv.html", "source.gif"}));
            continue;
        }
        EXPECT_EQ(fs::is_symlink(dir.file(c.destination)), !c.linkTo.empty());
        EXPECT_EQ(readFile(dir.file("dest.wbmp")), picture);
        struct stat info {};
        ASSERT_EQ(stat(dir.file("dest.wbmp").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.mode != 0 ? c.mode : 0666 & ~umaskWas);
        EXPECT_EQ(names(dir).size(), c.linkTo.empty() ? 3u : 4u);  // no unfinished file
    }
}

}  // namespace
