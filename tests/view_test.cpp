// The varnock-view program: exact drawings at full size and fitted to the width, its refusals'
// messages and exit statuses.
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

// The half-block drawing of `rows`.
std::string drawingOf(const Rows& rows) {
    MonoBitmap bitmap = makeBitmap(rows);
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    EXPECT_EQ(viewDraw(&bitmap, 0, stream), 0);
    std::fclose(stream);
    std::string text(buffer, size);
    std::free(buffer);
    monoFree(&bitmap, std::free);
    return text;
}

// 5 x 3, every glyph and a last row alone on its line.
const Bytes oddWbmp = {0x00, 0x00, 0x05, 0x03, 0xB0, 0xC0, 0x58};
const std::string oddDrawing = "\u2588\u2584\u2580\u2580 \n \u2580 \u2580\u2580\n";

// A w x h picture crossed by a one-pixel column at lineX and row at lineY, black on white or
// white on black.
Rows crossPicture(int w, int h, int lineX, int lineY, bool whiteLines) {
    Rows rows(std::size_t(h), std::string(std::size_t(w), whiteLines ? '.' : '#'));
    for (std::string& row : rows)
        row[std::size_t(lineX)] = whiteLines ? '#' : '.';
    rows[std::size_t(lineY)] = std::string(std::size_t(w), whiteLines ? '#' : '.');
    return rows;
}

void writeBitmapFile(const std::string& path, const Rows& rows) {
    MonoBitmap bitmap = makeBitmap(rows);
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    monoWriteWbmp(&bitmap, stream);
    std::fclose(stream);
    monoFree(&bitmap, std::free);
}

// Runs varnock-view with `args` (no quotes in them), no standard input and no COLUMNS unless
// `env` sets it; standard output goes to `outPath` when given.
testsupport::RunResult runViewer(const std::vector<std::string>& args, const std::string& env = "",
                                 const std::string& outPath = "") {
    ScratchDir capture;
    const std::string out = outPath.empty() ? capture.file("out") : outPath;
    std::string command = "cd / && env -u COLUMNS " + env + " '" VARNOCK_VIEW_EXE "'";
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

TEST(ViewProgram, DrawsExactlyAndFitsTheChosenWidth) {
    ScratchDir dir;
    const std::string odd = dir.file("odd.wbmp"), black = dir.file("black.wbmp"),
                      white = dir.file("white.wbmp"), wide = dir.file("wide.wbmp");
    testsupport::writeFile(odd, oddWbmp);
    writeBitmapFile(black, crossPicture(40, 40, 17, 22, false));
    writeBitmapFile(white, crossPicture(40, 40, 17, 22, true));
    writeBitmapFile(wide, crossPicture(160, 4, 100, 1, false));
    // 4 x 4 blocks keep a one-pixel line in either colour.
    const std::string blackLines = drawingOf(crossPicture(10, 10, 4, 5, false));
    const std::string whiteLines = drawingOf(crossPicture(10, 10, 4, 5, true));
    const std::string eighty = drawingOf(crossPicture(80, 2, 50, 0, false));
    const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
        {{odd}, "", oddDrawing},
        {{"--width", "300", odd}, "COLUMNS=2", oddDrawing},  // never enlarged
        {{"--width", "10", black}, "COLUMNS=20", blackLines},
        {{white, "--width=10"}, "", whiteLines},
        {{white}, "COLUMNS=10", whiteLines},
        {{wide}, "COLUMNS=abc", eighty}};  // no terminal and no count: 80 columns
    for (const auto& [args, env, drawing] : cases) {
        const auto run = runViewer(args, env);
        EXPECT_EQ(run.exitStatus, 0) << args[0] << " " << env;
        EXPECT_EQ(run.out, drawing) << args[0] << " " << env;
        EXPECT_EQ(run.err, "");
    }
}

TEST(ViewProgram, EachRefusalNamesTheFileAndTheReason) {
    const std::string notWbmp = "ce n'est pas une image WBMP de type 0";
    ScratchDir dir;
    const std::tuple<std::string, Bytes, std::string> cases[] = {
        {"type1.wbmp", {0x01, 0x00, 0x05, 0x03, 0xB0, 0xC0, 0x58}, notWbmp},
        {"header.wbmp", {0x00, 0x01, 0x05, 0x03, 0xB0, 0xC0, 0x58}, notWbmp},
        {"empty.wbmp", {}, "fichier vide"},
        {"wide.wbmp",
         {0x00, 0x00, 0x87, 0x69, 0x01, 0x00},
         "taille hors des limites (largeur et hauteur de 1 à 1000 pixels)"},
        {"short.wbmp",
         {0x00, 0x00, 0x05, 0x03, 0xB0, 0xC0},
         "fichier tronqué (données de l'image incomplètes)"},
        {"locked.wbmp", oddWbmp, "lecture non permise"},
        {"missing.wbmp", {}, "fichier introuvable"},
        {"", {}, "c'est un dossier, pas une image"}};
    for (const auto& [name, bytes, reason] : cases) {
        const std::string path = name.empty() ? dir.path().string() : dir.file(name);
        if (reason == "lecture non permise" && geteuid() == 0) continue;  // root reads anything
        if (!name.empty() && reason != "fichier introuvable") testsupport::writeFile(path, bytes);
        if (reason == "lecture non permise") chmod(path.c_str(), 0);
        const auto run = runViewer({path});
        EXPECT_EQ(run.exitStatus, 1) << name;
        EXPECT_EQ(run.out, "") << name;
        EXPECT_EQ(run.err, "varnock-view : \"" + path + "\" : " + reason + "\n");
    }
    const std::string odd = dir.file("odd.wbmp");
    testsupport::writeFile(odd, oddWbmp);
    const auto full = runViewer({odd}, "", "/dev/full");
    EXPECT_EQ(full.exitStatus, 1);
    EXPECT_EQ(full.err, "varnock-view : \"" + odd + "\" : erreur d'écriture du dessin\n");
}

TEST(ViewProgram, CommandLineErrorsGiveTheUsageAndStatus2) {
    const auto help = runViewer({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.out.rfind("utilisation :\n\n   varnock-view  [--width N]  image.wbmp\n", 0), 0u);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--width", "10"}, "il manque l'image WBMP"},
        {{"a.wbmp", "b.wbmp"}, "une seule image à la fois, en trop : \"b.wbmp\""},
        {{"--largeur", "a.wbmp"}, "option inconnue \"--largeur\""},
        {{"a.wbmp", "--width"}, "il manque le nombre de colonnes après \"--width\""},
        {{"--width=12abc", "a.wbmp"},
         "largeur invalide (un nombre de colonnes, 1 ou plus) : \"12abc\""}};
    for (const auto& [args, firstLine] : cases) {
        const auto run = runViewer(args);
        EXPECT_EQ(run.exitStatus, 2) << firstLine;
        EXPECT_EQ(run.out, "") << firstLine;
        EXPECT_EQ(run.err, "varnock-view : " + firstLine + "\n\n" + help.out);
    }
}

}  // namespace
