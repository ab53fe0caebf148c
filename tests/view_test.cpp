// The terminal viewer: fitting, the rarer-colour reduction, the half-block drawing, and the
// varnock-view program itself (exact output, messages and exit statuses).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "mono/mono_bitmap.h"
#include "test_support.h"
#include "view/view_render.h"

namespace {

using testsupport::Bytes;
using testsupport::ScratchDir;
using Rows = std::vector<std::string>;

const std::string full = "\u2588";
const std::string upper = "\u2580";
const std::string lower = "\u2584";

// A bitmap drawn as strings: '#' a white pixel, anything else black.
MonoBitmap makeBitmap(const Rows& rows) {
    MonoBitmap bitmap{};
    EXPECT_EQ(monoCreate(&bitmap, std::int32_t(rows.at(0).size()), std::int32_t(rows.size()),
                         std::malloc),
              0);
    for (std::size_t y = 0; y < rows.size(); ++y) {
        for (std::size_t x = 0; x < rows[y].size(); ++x)
            monoSetPixel(&bitmap, std::int32_t(x), std::int32_t(y), rows[y][x] == '#');
    }
    return bitmap;
}

Rows rowsOf(const MonoBitmap& bitmap) {
    Rows rows(std::size_t(bitmap.height), std::string(std::size_t(bitmap.width), '.'));
    for (std::int32_t y = 0; y < bitmap.height; ++y) {
        for (std::int32_t x = 0; x < bitmap.width; ++x)
            if (monoGetPixel(&bitmap, x, y)) rows[std::size_t(y)][std::size_t(x)] = '#';
    }
    return rows;
}

// The half-block drawing of `rows`.
std::string drawingOf(const Rows& rows, std::int32_t colour = 0) {
    MonoBitmap bitmap = makeBitmap(rows);
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    EXPECT_EQ(viewDraw(&bitmap, colour, stream), 0);
    std::fclose(stream);
    std::string text(buffer, size);
    std::free(buffer);
    monoFree(&bitmap, std::free);
    return text;
}

// An odd height and every glyph: rows 0-1 give full, lower, upper, upper, blank; row 2 (alone
// on its line) blank, upper, blank, upper, upper.
const Rows oddPicture = {"#.##.", "##...", ".#.##"};
const std::string oddDrawing =
    full + lower + upper + upper + " \n" + " " + upper + " " + upper + upper + "\n";
const Bytes oddWbmp = {0x00, 0x00, 0x05, 0x03, 0xB0, 0xC0, 0x58};

// A w x h picture crossed by a one-pixel column at lineX and row at lineY, black on white or
// white on black.
Rows crossPicture(int w, int h, int lineX, int lineY, bool whiteLines) {
    Rows rows(std::size_t(h), std::string(std::size_t(w), whiteLines ? '.' : '#'));
    for (std::string& row : rows)
        row[std::size_t(lineX)] = whiteLines ? '#' : '.';
    rows[std::size_t(lineY)] = std::string(std::size_t(w), whiteLines ? '#' : '.');
    return rows;
}

void* refuseAllocation(std::size_t) {
    return nullptr;
}

TEST(ViewFitSize, KeepsProportionsAndNeverEnlarges) {
    struct Case {
        std::int32_t width, height, columns, fitWidth, fitHeight;
    };
    const Case cases[] = {{200, 150, 80, 80, 60}, {300, 225, 80, 80, 60},  // 60.5 rounds to 60
                          {5, 3, 80, 5, 3},       {80, 7, 80, 80, 7},      // not enlarged
                          {1000, 1, 80, 80, 1},   {3, 1000, 1, 1, 333},    // at least one row
                          {7, 2, 3, 3, 1},        {7, 5, 3, 3, 2}};
    for (const Case& c : cases) {
        std::int32_t w = -1, h = -1;
        EXPECT_EQ(viewFitSize(c.width, c.height, c.columns, &w, &h), 0);
        EXPECT_EQ(std::pair(w, h), std::pair(c.fitWidth, c.fitHeight))
            << c.width << "x" << c.height << " in " << c.columns;
    }
    std::int32_t w = 0, h = 0;
    EXPECT_EQ(viewFitSize(0, 5, 80, &w, &h), 1);
    EXPECT_EQ(viewFitSize(5, 1001, 0, &w, &h), 1);
    EXPECT_EQ(viewFitSize(5, 5, 0, nullptr, &h), 2);
    EXPECT_EQ(viewFitSize(5, 5, 80, nullptr, &h), 3);
    EXPECT_EQ(viewFitSize(5, 5, 80, &w, nullptr), 3);
}

TEST(ViewReduce, RarerColourRule) {
    struct Case {
        Rows source;
        std::int32_t width, height;
        Rows expected;
    };
    const Case cases[] = {
        // 4 x 4 blocks: one-pixel lines in either colour stay visible.
        {crossPicture(40, 40, 17, 22, false), 10, 10, crossPicture(10, 10, 4, 5, false)},
        {crossPicture(40, 40, 17, 22, true), 10, 10, crossPicture(10, 10, 4, 5, true)},
        // Blocks [0, 2) and [2, 5): the line is 2 of 6 pixels of the last, 2 of 10 overall.
        {{"....#", "....#"}, 2, 1, {".#"}},
        // Half white: a light area (6 of 8 white) and a dark one (2 of 8) keep their brightness.
        {{"#.###...", "###..#.."}, 2, 1, {"#."}},
        {Rows(6, "#########"), 4, 3, Rows(3, "####")},
        {Rows(6, "........."), 4, 3, Rows(3, "....")},
        {{"#..#.##.#", ".##.#..##", "#########"}, 9, 3, {"#..#.##.#", ".##.#..##", "#########"}}};
    for (const Case& c : cases) {
        MonoBitmap source = makeBitmap(c.source);
        MonoBitmap reduced{};
        ASSERT_EQ(viewReduce(&reduced, &source, c.width, c.height, std::malloc), 0);
        EXPECT_EQ(rowsOf(reduced), c.expected);
        monoFree(&reduced, std::free);
        monoFree(&source, std::free);
    }
}

TEST(ViewReduce, RefusalsInOrder) {
    MonoBitmap source = makeBitmap({"#.#", ".#."});
    MonoBitmap dest{};
    MonoBitmap empty{3, 2, 1, 2, nullptr};
    MonoBitmap wide{};
    ASSERT_EQ(monoCreate(&wide, 1001, 1, std::malloc), 0);
    EXPECT_EQ(viewReduce(&dest, nullptr, 1, 1, std::malloc), 1);
    EXPECT_EQ(viewReduce(&dest, &empty, 1, 1, std::malloc), 1);
    EXPECT_EQ(viewReduce(&dest, &wide, 1, 1, std::malloc), 2);
    EXPECT_EQ(viewReduce(&dest, &source, 0, 1, std::malloc), 3);
    EXPECT_EQ(viewReduce(&dest, &source, 4, 1, std::malloc), 3);  // never enlarged
    EXPECT_EQ(viewReduce(&dest, &source, 3, 3, std::malloc), 3);
    EXPECT_EQ(viewReduce(&dest, &source, 3, 2, refuseAllocation), 4);
    EXPECT_EQ(dest.data, nullptr);
    monoFree(&wide, std::free);
    monoFree(&source, std::free);
}

TEST(ViewDraw, GlyphsColoursAndRefusals) {
    EXPECT_EQ(drawingOf(oddPicture), oddDrawing);
    const std::string start = "\x1b[97;40m";
    const std::string end = "\x1b[0m";
    EXPECT_EQ(drawingOf({"#.", ".#", "##", ".."}, 1),
              start + upper + lower + end + "\n" + start + upper + upper + end + "\n");
    MonoBitmap empty{2, 2, 1, 2, nullptr};
    EXPECT_EQ(viewDraw(nullptr, 0, stdout), 1);
    EXPECT_EQ(viewDraw(&empty, 0, stdout), 1);
    MonoBitmap bitmap = makeBitmap({"#"});
    EXPECT_EQ(viewDraw(&bitmap, 0, nullptr), 2);
    monoFree(&bitmap, std::free);
}

TEST(ViewParseColumns, DigitsOnly) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"80", 80},        {"007", 7},  {"2147483647", 2147483647},
        {"0", 0},          {"", 0},     {"-5", 0},
        {"+5", 0},         {" 80", 0},  {"80x", 0},
        {"2147483648", 0}, {nullptr, 0}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(viewParseColumns(text), value) << (text ? text : "null");
}

// Runs varnock-view with `args` (no quotes in them) and no standard input, without COLUMNS in
// its environment unless `env` sets it, in `workDir`; standard output goes to `outPath` when
// given.
testsupport::RunResult runViewer(const std::vector<std::string>& args, const std::string& env = "",
                                 const std::string& outPath = "",
                                 const std::string& workDir = "/") {
    ScratchDir capture;
    const std::string out = outPath.empty() ? capture.file("out") : outPath;
    std::string command =
        "cd '" + workDir + "' && env -u COLUMNS " + env + " '" VARNOCK_VIEW_EXE "'";
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    command += " </dev/null >'" + out + "' 2>'" + capture.file("err") + "'";
    const int status = std::system(command.c_str());
    testsupport::RunResult run;
    if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
    const Bytes outBytes = outPath.empty() ? testsupport::readFile(out) : Bytes{};
    const Bytes errBytes = testsupport::readFile(capture.file("err"));
    run.out.assign(outBytes.begin(), outBytes.end());
    run.err.assign(errBytes.begin(), errBytes.end());
    return run;
}

void writeBitmapFile(const std::string& path, const Rows& rows) {
    MonoBitmap bitmap = makeBitmap(rows);
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    monoWriteWbmp(&bitmap, stream);
    std::fclose(stream);
    monoFree(&bitmap, std::free);
}

TEST(ViewProgram, DrawsAtFullSizeOrFittedToTheWidth) {
    ScratchDir dir;
    const std::string odd = dir.file("odd.wbmp");
    testsupport::writeFile(odd, oddWbmp);
    const std::string cross = dir.file("cross.wbmp");
    writeBitmapFile(cross, crossPicture(40, 40, 17, 22, false));
    const std::string reduced = drawingOf(crossPicture(10, 10, 4, 5, false));
    const std::string wide = dir.file("wide.wbmp");
    writeBitmapFile(wide, crossPicture(160, 4, 100, 1, false));
    const std::string eighty = drawingOf(crossPicture(80, 2, 50, 0, false));
    struct Case {
        std::vector<std::string> args;
        std::string env;
        std::string out;
    };
    const Case cases[] = {
        {{odd}, "", oddDrawing},
        {{"--width", "300", odd}, "COLUMNS=2", oddDrawing},  // never enlarged
        {{"--", "-odd.wbmp"}, "", oddDrawing},               // "--" ends the options
        {{"--width", "10", cross}, "COLUMNS=20", reduced},
        {{"--width=10", cross}, "", reduced},
        {{cross, "--width", "10"}, "", reduced},
        {{cross}, "COLUMNS=10", reduced},
        // Output to a file: no terminal to ask, so 80 columns unless COLUMNS is a count.
        {{wide}, "", eighty},
        {{wide}, "COLUMNS=abc", eighty}};
    testsupport::writeFile(dir.file("-odd.wbmp"), oddWbmp);
    for (const Case& c : cases) {
        const auto run = runViewer(c.args, c.env, "", dir.path().string());
        EXPECT_EQ(run.exitStatus, 0) << c.args[0] << " " << c.env;
        EXPECT_EQ(run.out, c.out) << c.args[0] << " " << c.env;
        EXPECT_EQ(run.err, "");
    }
}

TEST(ViewProgram, EachRefusalNamesTheFileAndTheReason) {
    const std::string notWbmp = "ce n'est pas une image WBMP de type 0";
    const std::string size = "taille hors des limites (largeur et hauteur de 1 à 1000 pixels)";
    const std::string truncated = "fichier tronqué (données de l'image incomplètes)";
    struct Case {
        const char* name;
        Bytes bytes;
        std::string reason;
    };
    const Case cases[] = {{"type1.wbmp", {0x01, 0x00, 0x05, 0x03, 0xB0, 0xC0, 0x58}, notWbmp},
                          {"header.wbmp", {0x00, 0x01, 0x05, 0x03, 0xB0, 0xC0, 0x58}, notWbmp},
                          {"empty.wbmp", {}, "fichier vide"},
                          {"wide.wbmp", {0x00, 0x00, 0x87, 0x69, 0x01, 0x00}, size},
                          {"short.wbmp", {0x00, 0x00, 0x05, 0x03, 0xB0, 0xC0}, truncated},
                          {"locked.wbmp", oddWbmp, "lecture non permise"},
                          {"missing.wbmp", {}, "fichier introuvable"},
                          {"", {}, "c'est un dossier, pas une image"}};
    ScratchDir dir;
    for (const Case& c : cases) {
        const std::string path = c.name[0] != '\0' ? dir.file(c.name) : dir.path().string();
        const bool locked = c.reason == "lecture non permise";
        if (locked && geteuid() == 0) continue;  // root reads anything
        if (c.name[0] != '\0' && c.reason != "fichier introuvable")
            testsupport::writeFile(path, c.bytes);
        if (locked) chmod(path.c_str(), 0);
        const auto run = runViewer({path});
        EXPECT_EQ(run.exitStatus, 1) << c.name;
        EXPECT_EQ(run.out, "") << c.name;
        EXPECT_EQ(run.err, "varnock-view : \"" + path + "\" : " + c.reason + "\n");
    }
    testsupport::writeFile(dir.file("odd.wbmp"), oddWbmp);
    const auto devFull = runViewer({dir.file("odd.wbmp")}, "", "/dev/full");
    EXPECT_EQ(devFull.exitStatus, 1);
    EXPECT_EQ(devFull.err,
              "varnock-view : \"" + dir.file("odd.wbmp") + "\" : erreur d'écriture du dessin\n");
}

TEST(ViewProgram, CommandLineErrorsGiveTheUsageAndStatus2) {
    const auto help = runViewer({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.out.rfind("utilisation :\n\n   varnock-view  [--width N]  image.wbmp\n", 0), 0u);
    EXPECT_EQ(help.err, "");
    const std::string invalid = "largeur invalide (un nombre de colonnes, 1 ou plus) : ";
    struct Case {
        std::vector<std::string> args;
        std::string firstLine;
    };
    const Case cases[] = {
        {{}, "il manque l'image WBMP"},
        {{"--width", "10"}, "il manque l'image WBMP"},
        {{"a.wbmp", "b.wbmp"}, "une seule image à la fois, en trop : \"b.wbmp\""},
        {{"--largeur", "a.wbmp"}, "option inconnue \"--largeur\""},
        {{"a.wbmp", "--width"}, "il manque le nombre de colonnes après \"--width\""},
        {{"--width", "0", "a.wbmp"}, invalid + "\"0\""},
        {{"--width=-4", "a.wbmp"}, invalid + "\"-4\""},
        {{"--width", "12abc", "a.wbmp"}, invalid + "\"12abc\""}};
    for (const Case& c : cases) {
        const auto run = runViewer(c.args);
        EXPECT_EQ(run.exitStatus, 2) << c.firstLine;
        EXPECT_EQ(run.out, "") << c.firstLine;
        EXPECT_EQ(run.err, "varnock-view : " + c.firstLine + "\n\n" + help.out);
    }
}

}  // namespace
