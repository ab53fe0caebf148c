// The varnock-view program: exact drawings at full size and fitted to the width, pictures as
// large as varnock writes drawn and exported to GIF pixel for pixel, its refusals' messages and
// exit statuses.
#include <gd.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
    const std::string cutHeader = "fichier tronqué (en-tête incomplet)";
    const std::string badNumber =
        "en-tête invalide (largeur ou hauteur de plus de cinq octets ou au-delà de 2^31 - 1)";
    const auto tooLarge = [](const std::string& size) {
        return "image de " + size +
               " pixels, trop grande (au plus 65535 pixels de côté et 16777216 pixels en tout)";
    };
    ScratchDir dir;
    const std::tuple<std::string, Bytes, std::string> cases[] = {
        {"type1.wbmp", {0x01, 0x00, 0x05, 0x03, 0xB0, 0xC0, 0x58}, notWbmp},
        {"header.wbmp", {0x00, 0x01, 0x05, 0x03, 0xB0, 0xC0, 0x58}, notWbmp},
        {"empty.wbmp", {}, "fichier vide"},
        {"side.wbmp", {0x00, 0x00, 0x84, 0x80, 0x00, 0x01, 0x00}, tooLarge("65536 × 1")},
        {"area.wbmp", {0x00, 0x00, 0xA0, 0x01, 0xA0, 0x00, 0x00}, tooLarge("4097 × 4096")},
        {"zero.wbmp", {0x00, 0x00, 0x00, 0x05, 0x00}, "taille invalide : 0 × 5 pixels"},
        {"huge.wbmp", {0x00, 0x00, 0x90, 0x80, 0x80, 0x80, 0x08, 0x08, 0x00}, badNumber},
        {"long.wbmp", {0x00, 0x00, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01, 0x01, 0x00}, badNumber},
        {"zero1.wbmp", {0x00}, cutHeader},
        {"zero2.wbmp", {0x00, 0x00}, cutHeader},
        {"zero3.wbmp", {0x00, 0x00, 0x05}, cutHeader},
        {"short.wbmp",
         {0x00, 0x00, 0x05, 0x03, 0xB0, 0xC0},
         "fichier tronqué (données de l'image incomplètes)"},
        {"missing.wbmp", {}, "fichier introuvable"},
        {"", {}, "c'est un dossier, pas une image"}};
    for (const auto& [name, bytes, reason] : cases) {
        const std::string path = name.empty() ? dir.path().string() : dir.file(name);
        if (!name.empty() && reason != "fichier introuvable") testsupport::writeFile(path, bytes);
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
    const auto unwritable = runViewer({"--gif", dir.file("no/such.gif"), odd});
    EXPECT_EQ(unwritable.exitStatus, 1);
    EXPECT_EQ(unwritable.err,
              "varnock-view : \"" + dir.file("no/such.gif") + "\" : écriture du GIF impossible\n");

    // A width whose continuation bits never end is refused after its fifth byte.
    const std::string endless =
        "(printf '\\000\\000'; tr '\\000' '\\377' </dev/zero) | timeout 20 '" +
        std::string(VARNOCK_VIEW_EXE) + "' /dev/stdin 2>'" + dir.file("err") + "'";
    const int status = std::system(endless.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    const Bytes err = testsupport::readFile(dir.file("err"));
    EXPECT_EQ(std::string(err.begin(), err.end()),
              "varnock-view : \"/dev/stdin\" : " + badNumber + "\n");
}

// A WBMP file of width x height pseudo-random pixels, its padding bits clear.
Bytes noiseWbmp(std::int32_t width, std::int32_t height, std::uint32_t seed) {
    Bytes file{0x00, 0x00};
    for (std::int32_t side : {width, height}) {
        Bytes groups{static_cast<std::uint8_t>(side & 0x7F)};
        for (side >>= 7; side > 0; side >>= 7)
            groups.insert(groups.begin(), static_cast<std::uint8_t>(0x80 | (side & 0x7F)));
        file.insert(file.end(), groups.begin(), groups.end());
    }
    const std::int32_t rowBytes = (width + 7) / 8;
    const auto lastMask = static_cast<std::uint8_t>(0xFF << ((8 - width % 8) % 8));
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t b = 0; b < rowBytes; ++b) {
            seed = seed * 1664525u + 1013904223u;
            const auto byte = static_cast<std::uint8_t>(seed >> 24);
            file.push_back(b == rowBytes - 1 ? byte & lastMask : byte);
        }
    }
    return file;
}

TEST(ViewProgram, DrawsAndExportsToGifPictureSizesVarnockWrites) {
    // Sizes varnock writes: a small odd one, the tallest GIF side, a doubled 1500 x 1125 photo,
    // and the most pixels a GIF may have.
    const std::pair<std::int32_t, std::int32_t> sizes[] = {
        {5, 3}, {1, 65535}, {3000, 2250}, {4096, 4096}};
    const bool haveNetpbm = std::system("command -v giftopnm >/dev/null") == 0;
    ScratchDir dir;
    const std::string wbmp = dir.file("in.wbmp"), gif = dir.file("out.gif");
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        const Bytes file = noiseWbmp(width, height, std::uint32_t(width * 31 + height));
        testsupport::writeFile(wbmp, file);
        const std::int32_t rowBytes = (width + 7) / 8;
        const std::size_t dataStart = file.size() - std::size_t(rowBytes) * std::size_t(height);
        const auto white = [&](std::int32_t x, std::int32_t y) {
            const std::uint8_t byte = file[dataStart + std::size_t(y * rowBytes + x / 8)];
            return (byte >> (7 - x % 8) & 1) != 0;
        };

        const auto drawn = runViewer({"--width", "80", wbmp});
        EXPECT_EQ(drawn.exitStatus, 0) << drawn.err;
        const std::int32_t columns = width < 80 ? width : 80;
        const std::int32_t rows = std::max(1, (height * columns + width / 2) / width);
        EXPECT_EQ(std::count(drawn.out.begin(), drawn.out.end(), '\n'), (rows + 1) / 2);

        const auto exported = runViewer({"--gif", gif, wbmp});
        ASSERT_EQ(exported.exitStatus, 0) << exported.err;
        EXPECT_EQ(exported.out + exported.err, "");
        gdImagePtr image = gdImageCreateFromFile(gif.c_str());
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(gdImageSX(image), width);
        EXPECT_EQ(gdImageSY(image), height);
        std::int64_t wrong = 0;
        for (std::int32_t y = 0; y < height; ++y) {
            for (std::int32_t x = 0; x < width; ++x) {
                const int colour = gdImageGetPixel(image, x, y);
                const int level = white(x, y) ? 255 : 0;
                wrong += gdImageRed(image, colour) != level ||
                         gdImageGreen(image, colour) != level ||
                         gdImageBlue(image, colour) != level;
            }
        }
        gdImageDestroy(image);
        EXPECT_EQ(wrong, 0);

        // netpbm's reading, a bitmap whose set bits are black: the WBMP's rows inverted.
        if (!haveNetpbm) continue;
        const std::string pbm = dir.file("out.pbm");
        ASSERT_EQ(std::system(("giftopnm '" + gif + "' >'" + pbm + "' 2>/dev/null").c_str()), 0);
        const std::string header =
            "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
        Bytes expected(header.begin(), header.end());
        const auto lastMask = static_cast<std::uint8_t>(0xFF << ((8 - width % 8) % 8));
        for (std::size_t at = dataStart; at < file.size(); ++at) {
            const bool last = (at - dataStart) % std::size_t(rowBytes) == std::size_t(rowBytes) - 1;
            expected.push_back(static_cast<std::uint8_t>(~file[at] & (last ? lastMask : 0xFF)));
        }
        EXPECT_TRUE(testsupport::readFile(pbm) == expected);
    }
    if (!haveNetpbm) GTEST_SKIP() << "giftopnm (netpbm) is not installed: libgd's reading only";
}

TEST(ViewProgram, AnUnreadableFileIsRefused) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
    ScratchDir dir;
    const std::string locked = dir.file("locked.wbmp");
    testsupport::writeFile(locked, oddWbmp);
    chmod(locked.c_str(), 0);
    const auto run = runViewer({locked});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "varnock-view : \"" + locked + "\" : lecture non permise\n");
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
         "largeur invalide (un nombre de colonnes, 1 ou plus) : \"12abc\""},
        {{"a.wbmp", "--gif"}, "il manque le fichier GIF après \"--gif\""},
        {{"--gif=", "a.wbmp"}, "nom de fichier GIF vide"},
        {{"--gif", "b.gif", "--width", "9", "a.wbmp"},
         "--width règle le dessin, il ne va pas avec --gif"}};
    for (const auto& [args, firstLine] : cases) {
        const auto run = runViewer(args);
        EXPECT_EQ(run.exitStatus, 2) << firstLine;
        EXPECT_EQ(run.out, "") << firstLine;
        EXPECT_EQ(run.err, "varnock-view : " + firstLine + "\n\n" + help.out);
    }
}

}  // namespace
