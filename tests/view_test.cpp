// The terminal viewer: fitting, the rarer-colour reduction, the half-block drawing, and the
// varnock-view program itself (exact output, messages and exit statuses).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mono/mono_bitmap.h"
#include "test_support.h"
#include "view/view_render.h"

extern char** environ;

namespace {

using testsupport::Bytes;
using testsupport::ScratchDir;

// Glyphs as the viewer prints them.
const std::string full = "\u2588";
const std::string upper = "\u2580";
const std::string lower = "\u2584";

// A bitmap drawn as strings: '#' a white pixel, anything else black.
MonoBitmap makeBitmap(const std::vector<std::string>& rows) {
    MonoBitmap bitmap{};
    const auto width = static_cast<std::int32_t>(rows.at(0).size());
    const auto height = static_cast<std::int32_t>(rows.size());
    EXPECT_EQ(monoCreate(&bitmap, width, height, std::malloc), 0);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            monoSetPixel(&bitmap, x, y,
                         rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] == '#');
        }
    }
    return bitmap;
}

// The bitmap back as strings, for comparisons that show the picture when they fail.
std::vector<std::string> pictureOf(const MonoBitmap& bitmap) {
    std::vector<std::string> rows;
    for (std::int32_t y = 0; y < bitmap.height; ++y) {
        std::string row;
        for (std::int32_t x = 0; x < bitmap.width; ++x)
            row += monoGetPixel(&bitmap, x, y) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

std::string drawToString(const MonoBitmap& bitmap, std::int32_t colour) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    EXPECT_NE(stream, nullptr);
    EXPECT_EQ(viewDraw(&bitmap, colour, stream), 0);
    std::fclose(stream);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// A picture with an odd height and every glyph: rows 0-1 give full, lower, upper, upper, blank;
// row 2 (alone on its line) gives blank, upper, blank, upper, upper.
const std::vector<std::string> oddPicture = {"#.##.", "##...", ".#.##"};
const std::string oddDrawing =
    full + lower + upper + upper + " \n" + " " + upper + " " + upper + upper + "\n";
const Bytes oddWbmp = {0x00, 0x00, 0x05, 0x03, 0xB0, 0xC0, 0x58};

// A w x h white picture crossed by one black column at lineX and one black row at lineY
// (or the reverse colours with `whiteLines`).
std::vector<std::string> crossPicture(int w, int h, int lineX, int lineY, bool whiteLines) {
    const char line = whiteLines ? '#' : '.';
    const char ground = whiteLines ? '.' : '#';
    std::vector<std::string> rows(static_cast<std::size_t>(h),
                                  std::string(static_cast<std::size_t>(w), ground));
    for (int y = 0; y < h; ++y)
        rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(lineX)] = line;
    rows[static_cast<std::size_t>(lineY)] = std::string(static_cast<std::size_t>(w), line);
    return rows;
}

void* refuseAllocation(std::size_t) {
    return nullptr;
}

// ---- fitting ----

TEST(ViewFitSize, KeepsProportionsAndNeverEnlarges) {
    struct Case {
        std::int32_t width, height, columns, fitWidth, fitHeight;
    };
    const Case cases[] = {
        {200, 150, 80, 80, 60},   // 60 exactly
        {300, 225, 80, 80, 60},   // 60.5 rounds to 60 (18150 / 300)
        {112, 320, 56, 56, 160},  // half size
        {5, 3, 80, 5, 3},         // narrower than the terminal: drawn as it is
        {80, 7, 80, 80, 7},       // exactly the terminal's width
        {1000, 1, 80, 80, 1},     // 0.08 of a row still gives one row
        {3, 1000, 1, 1, 333},     // 333.3
        {1000, 1000, 999, 999, 999},
        {7, 2, 3, 3, 1},  // 0.857 rounds to 1
        {7, 5, 3, 3, 2},  // 2.14 rounds to 2
    };
    for (const Case& c : cases) {
        std::int32_t w = -1;
        std::int32_t h = -1;
        EXPECT_EQ(viewFitSize(c.width, c.height, c.columns, &w, &h), 0);
        EXPECT_EQ(w, c.fitWidth) << c.width << "x" << c.height << " in " << c.columns;
        EXPECT_EQ(h, c.fitHeight) << c.width << "x" << c.height << " in " << c.columns;
    }
}

TEST(ViewFitSize, RefusalsInOrder) {
    std::int32_t w = 0;
    std::int32_t h = 0;
    EXPECT_EQ(viewFitSize(0, 5, 80, &w, &h), 1);
    EXPECT_EQ(viewFitSize(5, 0, 80, &w, &h), 1);
    EXPECT_EQ(viewFitSize(1001, 5, 80, &w, &h), 1);
    EXPECT_EQ(viewFitSize(5, 1001, 0, &w, &h), 1);
    EXPECT_EQ(viewFitSize(5, 5, 0, nullptr, &h), 2);
    EXPECT_EQ(viewFitSize(5, 5, -3, &w, &h), 2);
    EXPECT_EQ(viewFitSize(5, 5, 80, nullptr, &h), 3);
    EXPECT_EQ(viewFitSize(5, 5, 80, &w, nullptr), 3);
}

// ---- reduction ----

TEST(ViewReduce, OnePixelLinesStayVisibleInEitherColour) {
    for (const bool whiteLines : {false, true}) {
        // 40 x 40 in 4 x 4 blocks: the lines cross block column 4 and block row 5.
        MonoBitmap source = makeBitmap(crossPicture(40, 40, 17, 22, whiteLines));
        MonoBitmap reduced{};
        ASSERT_EQ(viewReduce(&reduced, &source, 10, 10, std::malloc), 0);
        EXPECT_EQ(pictureOf(reduced), crossPicture(10, 10, 4, 5, whiteLines))
            << (whiteLines ? "white lines" : "black lines");
        monoFree(&reduced, std::free);
        monoFree(&source, std::free);
    }
}

TEST(ViewReduce, LastUnevenBlockIsCounted) {
    // 5 columns into 2 cells: blocks [0, 2) and [2, 5); the line in the last column is 2 of the
    // second block's 6 pixels, more than the 2 of 10 it makes of the picture.
    MonoBitmap source = makeBitmap({"....#", "....#"});
    MonoBitmap reduced{};
    ASSERT_EQ(viewReduce(&reduced, &source, 2, 1, std::malloc), 0);
    EXPECT_EQ(pictureOf(reduced), (std::vector<std::string>{".#"}));
    monoFree(&reduced, std::free);
    monoFree(&source, std::free);
}

TEST(ViewReduce, DitheredAreasKeepTheirBrightness) {
    // Half the pixels white: a light area (6 of 8 white) and a dark one (2 of 8) must not both
    // turn to the rarer colour just because they hold some of it.
    MonoBitmap source = makeBitmap({"#.###...", "###..#.."});
    MonoBitmap reduced{};
    ASSERT_EQ(viewReduce(&reduced, &source, 2, 1, std::malloc), 0);
    EXPECT_EQ(pictureOf(reduced), (std::vector<std::string>{"#."}));
    monoFree(&reduced, std::free);
    monoFree(&source, std::free);
}

TEST(ViewReduce, UniformPictureStaysUniform) {
    for (const char pixel : {'#', '.'}) {
        MonoBitmap source = makeBitmap(std::vector<std::string>(6, std::string(9, pixel)));
        MonoBitmap reduced{};
        ASSERT_EQ(viewReduce(&reduced, &source, 4, 3, std::malloc), 0);
        EXPECT_EQ(pictureOf(reduced), std::vector<std::string>(3, std::string(4, pixel)));
        monoFree(&reduced, std::free);
        monoFree(&source, std::free);
    }
}

TEST(ViewReduce, SameSizeIsAnExactCopy) {
    MonoBitmap source = makeBitmap({"#..#.##.#", ".##.#..##", "#########", "........."});
    MonoBitmap copy{};
    ASSERT_EQ(viewReduce(&copy, &source, 9, 4, std::malloc), 0);
    ASSERT_EQ(copy.dataSize, source.dataSize);
    EXPECT_EQ(std::memcmp(copy.data, source.data, static_cast<std::size_t>(source.dataSize)), 0);
    monoFree(&copy, std::free);
    monoFree(&source, std::free);
}

TEST(ViewReduce, RefusalsInOrder) {
    MonoBitmap source = makeBitmap({"#.#", ".#."});
    MonoBitmap dest{};
    EXPECT_EQ(viewReduce(&dest, nullptr, 1, 1, std::malloc), 1);
    MonoBitmap empty{};
    empty.width = 3;
    empty.height = 2;
    EXPECT_EQ(viewReduce(&dest, &empty, 1, 1, std::malloc), 1);
    MonoBitmap wide{};
    ASSERT_EQ(monoCreate(&wide, 1001, 1, std::malloc), 0);
    EXPECT_EQ(viewReduce(&dest, &wide, 1, 1, std::malloc), 2);
    monoFree(&wide, std::free);
    EXPECT_EQ(viewReduce(&dest, &source, 0, 1, std::malloc), 3);
    EXPECT_EQ(viewReduce(&dest, &source, 4, 1, std::malloc), 3);  // never enlarged
    EXPECT_EQ(viewReduce(&dest, &source, 3, 0, std::malloc), 3);
    EXPECT_EQ(viewReduce(&dest, &source, 3, 3, std::malloc), 3);
    EXPECT_EQ(viewReduce(&dest, &source, 3, 2, refuseAllocation), 4);
    EXPECT_EQ(dest.data, nullptr);
    monoFree(&source, std::free);
}

// ---- drawing ----

TEST(ViewDraw, EveryGlyphAndAnOddLastRow) {
    MonoBitmap bitmap = makeBitmap(oddPicture);
    EXPECT_EQ(drawToString(bitmap, 0), oddDrawing);
    monoFree(&bitmap, std::free);
}

TEST(ViewDraw, ColourFramesEveryLine) {
    MonoBitmap bitmap = makeBitmap({"#.", ".#", "##", ".."});
    const std::string start = "\x1b[97;40m";
    const std::string end = "\x1b[0m";
    EXPECT_EQ(drawToString(bitmap, 1),
              start + upper + lower + end + "\n" + start + upper + upper + end + "\n");
    monoFree(&bitmap, std::free);
}

TEST(ViewDraw, Refusals) {
    MonoBitmap empty{};
    empty.width = 2;
    empty.height = 2;
    EXPECT_EQ(viewDraw(nullptr, 0, stdout), 1);
    EXPECT_EQ(viewDraw(&empty, 0, stdout), 1);
    MonoBitmap bitmap = makeBitmap({"#"});
    EXPECT_EQ(viewDraw(&bitmap, 0, nullptr), 2);
    monoFree(&bitmap, std::free);
}

TEST(ViewParseColumns, DigitsOnly) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case cases[] = {
        {"80", 80},         {"1", 1},   {"007", 7}, {"2147483647", 2147483647},
        {"0", 0},           {"", 0},    {"-5", 0},  {"+5", 0},
        {" 80", 0},         {"80 ", 0}, {"80x", 0}, {"2147483648", 0},
        {"99999999999", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(viewParseColumns(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(viewParseColumns(nullptr), 0);
}

// ---- the program ----

struct ViewRun {
    int exitStatus = -1;
    std::string out;
    std::string err;
};

// Runs varnock-view with `args`; the environment is this one without COLUMNS, plus `extraEnv`.
// Standard output goes to `outPath` when given (and is then not captured).
ViewRun runViewer(const std::vector<std::string>& args,
                  const std::vector<std::string>& extraEnv = {}, const std::string& outPath = "") {
    ScratchDir capture;
    const std::string outFile = outPath.empty() ? capture.file("out") : outPath;
    const std::string errFile = capture.file("err");
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "COLUMNS=", 8) != 0) env.emplace_back(*entry);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::string program = VARNOCK_VIEW_EXE;
    std::vector<std::string> argCopies = args;
    std::vector<char*> argv{program.data()};
    for (auto& arg : argCopies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ViewRun run;
    if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
    if (outPath.empty()) {
        const Bytes out = testsupport::readFile(outFile);
        run.out.assign(out.begin(), out.end());
    }
    const Bytes err = testsupport::readFile(errFile);
    run.err.assign(err.begin(), err.end());
    return run;
}

// The text of a half-block drawing of `rows`, as the program prints it without colours.
std::string drawingOf(const std::vector<std::string>& rows) {
    MonoBitmap bitmap = makeBitmap(rows);
    std::string text = drawToString(bitmap, 0);
    monoFree(&bitmap, std::free);
    return text;
}

void writeBitmapFile(const std::string& path, const std::vector<std::string>& rows) {
    MonoBitmap bitmap = makeBitmap(rows);
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    monoWriteWbmp(&bitmap, stream);
    std::fclose(stream);
    monoFree(&bitmap, std::free);
}

TEST(ViewProgram, DrawsAKnownFileAtFullSize) {
    ScratchDir dir;
    const std::string path = dir.file("odd.wbmp");
    testsupport::writeFile(path, oddWbmp);
    const ViewRun run = runViewer({path});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, oddDrawing);
    EXPECT_EQ(run.err, "");
    // A larger width does not enlarge it.
    const ViewRun wide = runViewer({"--width", "300", path}, {"COLUMNS=2"});
    EXPECT_EQ(wide.exitStatus, 0);
    EXPECT_EQ(wide.out, oddDrawing);
}

TEST(ViewProgram, FitsTheWidthAndKeepsThinLines) {
    ScratchDir dir;
    const std::string path = dir.file("cross.wbmp");
    writeBitmapFile(path, crossPicture(40, 40, 17, 22, false));
    const std::string reduced = drawingOf(crossPicture(10, 10, 4, 5, false));
    const std::vector<std::vector<std::string>> ways = {
        {"--width", "10", path}, {"--width=10", path}, {path, "--width", "10"}};
    for (const auto& args : ways) {
        const ViewRun run = runViewer(args);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.out, reduced);
    }
    const ViewRun fromEnvironment = runViewer({path}, {"COLUMNS=10"});
    EXPECT_EQ(fromEnvironment.out, reduced);
    const ViewRun optionFirst = runViewer({"--width", "10", path}, {"COLUMNS=20"});
    EXPECT_EQ(optionFirst.out, reduced);
}

TEST(ViewProgram, EightyColumnsWhenTheWidthIsUnknown) {
    // Standard output is a file here, so there is no terminal size to ask for.
    ScratchDir dir;
    const std::string path = dir.file("wide.wbmp");
    writeBitmapFile(path, crossPicture(160, 4, 100, 1, false));
    const std::string expected = drawingOf(crossPicture(80, 2, 50, 0, false));
    for (const std::vector<std::string>& env :
         {std::vector<std::string>{}, {"COLUMNS=abc"}, {"COLUMNS=0"}, {"COLUMNS="}}) {
        const ViewRun run = runViewer({path}, env);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.out, expected) << (env.empty() ? "no COLUMNS" : env[0]);
    }
}

TEST(ViewProgram, EachRefusalNamesTheFileAndTheReason) {
    ScratchDir dir;
    struct Case {
        const char* name;
        Bytes bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"type1.wbmp",
         {0x01, 0x00, 0x05, 0x03, 0xB0, 0xC0, 0x58},
         "ce n'est pas une image WBMP de type 0"},
        {"header.wbmp",
         {0x00, 0x01, 0x05, 0x03, 0xB0, 0xC0, 0x58},
         "ce n'est pas une image WBMP de type 0"},
        {"picture.gif", {'G', 'I', 'F', '8', '9', 'a'}, "ce n'est pas une image WBMP de type 0"},
        {"empty.wbmp", {}, "fichier vide"},
        {"wide.wbmp",
         {0x00, 0x00, 0x87, 0x69, 0x01, 0x00},
         "taille hors des limites (largeur et hauteur de 1 à 1000 pixels)"},
        {"zero.wbmp",
         {0x00, 0x00, 0x00, 0x03},
         "taille hors des limites (largeur et hauteur de 1 à 1000 pixels)"},
        {"noheight.wbmp",
         {0x00, 0x00, 0x05},
         "taille hors des limites (largeur et hauteur de 1 à 1000 pixels)"},
        {"short.wbmp",
         {0x00, 0x00, 0x05, 0x03, 0xB0, 0xC0},
         "fichier tronqué (données de l'image incomplètes)"},
        {"nodata.wbmp",
         {0x00, 0x00, 0x05, 0x03},
         "fichier tronqué (données de l'image incomplètes)"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name);
        testsupport::writeFile(path, c.bytes);
        const ViewRun run = runViewer({path});
        EXPECT_EQ(run.exitStatus, 1) << c.name;
        EXPECT_EQ(run.out, "") << c.name;
        EXPECT_EQ(run.err, "varnock-view : \"" + path + "\" : " + c.reason + "\n");
    }
}

TEST(ViewProgram, FilesThatCannotBeRead) {
    ScratchDir dir;
    const std::string missing = dir.file("missing.wbmp");
    ViewRun run = runViewer({missing});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "varnock-view : \"" + missing + "\" : fichier introuvable\n");

    run = runViewer({dir.path().string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err,
              "varnock-view : \"" + dir.path().string() + "\" : c'est un dossier, pas une image\n");

    if (geteuid() != 0) {  // root reads anything
        const std::string locked = dir.file("locked.wbmp");
        testsupport::writeFile(locked, oddWbmp);
        chmod(locked.c_str(), 0);
        run = runViewer({locked});
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.err, "varnock-view : \"" + locked + "\" : lecture non permise\n");
    }
}

TEST(ViewProgram, WriteFailureIsReported) {
    ScratchDir dir;
    const std::string path = dir.file("odd.wbmp");
    testsupport::writeFile(path, oddWbmp);
    const ViewRun run = runViewer({path}, {}, "/dev/full");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "varnock-view : \"" + path + "\" : erreur d'écriture du dessin\n");
}

TEST(ViewProgram, CommandLineErrorsGiveTheUsageAndStatus2) {
    ScratchDir dir;
    const std::string path = dir.file("odd.wbmp");
    testsupport::writeFile(path, oddWbmp);
    const ViewRun help = runViewer({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.out.rfind("utilisation :\n\n   varnock-view  [--width N]  image.wbmp\n", 0), 0u);
    EXPECT_EQ(help.err, "");

    struct Case {
        std::vector<std::string> args;
        std::string firstLine;
    };
    const Case cases[] = {
        {{}, "varnock-view : il manque l'image WBMP"},
        {{"--width", "10"}, "varnock-view : il manque l'image WBMP"},
        {{path, path}, "varnock-view : une seule image à la fois, en trop : \"" + path + "\""},
        {{"--largeur", path}, "varnock-view : option inconnue \"--largeur\""},
        {{path, "--width"}, "varnock-view : il manque le nombre de colonnes après \"--width\""},
        {{"--width", "0", path},
         "varnock-view : largeur invalide (un nombre de colonnes, 1 ou plus) : \"0\""},
        {{"--width=-4", path},
         "varnock-view : largeur invalide (un nombre de colonnes, 1 ou plus) : \"-4\""},
        {{"--width", "12abc", path},
         "varnock-view : largeur invalide (un nombre de colonnes, 1 ou plus) : \"12abc\""},
    };
    for (const Case& c : cases) {
        const ViewRun run = runViewer(c.args);
        EXPECT_EQ(run.exitStatus, 2) << c.firstLine;
        EXPECT_EQ(run.out, "") << c.firstLine;
        EXPECT_EQ(run.err, c.firstLine + "\n\n" + help.out);
    }
    // "--" ends the options: a file named like an option can still be shown.
    const std::string dashed = dir.file("-odd.wbmp");
    testsupport::writeFile(dashed, oddWbmp);
    const ViewRun run = runViewer({"--width", "9", "--", dashed});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, oddDrawing);
}

TEST(ViewProgram, ShowsWhatTheConverterWrote) {
    // A 6 x 4 GIF, black and white only, converted at its own size, comes back pixel for pixel.
    ScratchDir dir;
    testsupport::GifSpec gif;
    gif.width = 6;
    gif.height = 4;
    gif.palette = {0x000000, 0xFFFFFF};
    gif.indices = {1, 1, 0, 0, 0, 1,  //
                   1, 0, 0, 1, 0, 1,  //
                   0, 0, 0, 1, 1, 1,  //
                   1, 1, 0, 0, 0, 0};
    testsupport::writeGif(dir.file("in.gif"), gif);
    const testsupport::RunResult convert =
        testsupport::runVarnock({"in.gif", "out.wbmp", "0", "0"}, dir.path().string());
    ASSERT_EQ(convert.exitStatus, 0) << convert.err;
    const ViewRun run = runViewer({dir.file("out.wbmp")});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, drawingOf({"##...#", "#..#.#", "...###", "##...."}));
}

}  // namespace
