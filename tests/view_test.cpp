// The varnock-view program through its command line: drawings, the width they fit (--width,
// COLUMNS, the terminal, else 80) and their colour (only on a terminal that wants it), the size
// bound, --gif read back by libgd and netpbm, each refusal's message and the usage errors.
#include <gd.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <tuple>

#include "test_support.h"

namespace {

using testsupport::Bytes;

// A WBMP file of a w x h picture (sides below 2^14) crossed by the column x and the row y: the
// lines white on black, or black on white.
Bytes cross(int w, int h, int x, int y, bool whiteLines) {
    Bytes file{0, 0};
    if (w > 127) file.push_back(std::uint8_t(0x80 | w >> 7));
    file.push_back(std::uint8_t(w & 0x7F));
    file.push_back(std::uint8_t(h));
    for (int row = 0; row < h; ++row) {
        for (int left = 0; left < w; left += 8) {
            int byte = 0;
            for (int at = left; at < left + 8 && at < w; ++at)
                byte |= ((at == x || row == y) == whiteLines) << (7 - at % 8);
            file.push_back(std::uint8_t(byte));
        }
    }
    return file;
}

// Runs the shell line `line` in `dir`, where $V names the viewer, TERM is xterm and neither
// COLUMNS nor NO_COLOR is set; a terminal's carriage returns are dropped from the output.
testsupport::RunResult run(const std::string& dir, const std::string& line) {
    auto result =
        testsupport::runScript(dir, "unset COLUMNS NO_COLOR; export TERM=xterm; V=\"$W\"; " + line);
    std::erase(result.out, '\r');
    return result;
}

TEST(ViewProgram, DrawsRefusesAndExports) {
    testsupport::ScratchDir scratch;
    const std::string dir = scratch.path().string();
    Bytes tall{0, 0, 0x83, 0xFF, 0x7F, 0x01}, big{0, 0, 0xA0, 0x00, 0xA0, 0x00};  // at the bound
    tall.resize(6 + 8192);
    big.resize(6 + 512 * 4096);
    // 5 x 3 with every glyph; crosses reduced to 4 x 4 blocks keep their lines; black pictures.
    // clang-format off
    const std::pair<std::string, Bytes> files[] = {{"odd", {0, 0, 5, 3, 0xB0, 0xC0, 0x58}},
        {"black", cross(40, 40, 17, 22, false)}, {"white", cross(40, 40, 17, 22, true)},
        {"black10", cross(10, 10, 4, 5, false)}, {"white10", cross(10, 10, 4, 5, true)},
        {"wide", cross(160, 5, -1, -1, true)}, {"tall", tall}, {"big", big}};
    // clang-format on
    for (const auto& [name, bytes] : files)
        testsupport::writeFile(dir + "/" + name, bytes);

    const std::string odd = "\u2588\u2584\u2580\u2580 \n \u2580 \u2580\u2580\n";
    const std::string on = "\x1b[97;40m", off = "\x1b[0m\n";
    const std::string coloured =
        on + "\u2588\u2584\u2580\u2580 " + off + on + " \u2580 \u2580\u2580" + off;
    const std::string blackLines = run(dir, "$V black10").out;
    const std::string whiteLines = run(dir, "$V white10").out;
    const std::string line80 = std::string(80, ' ') + "\n";
    const std::string help = run(dir, "$V --help").out;
    EXPECT_EQ(help.rfind("utilisation :\n\n   varnock-view  [--width N]  image.wbmp\n", 0), 0u);
    const std::string notWbmp = "ce n'est pas une image WBMP de type 0";
    const std::string cut = "fichier tronqué (en-tête incomplet)";
    const std::string badNumber =
        "en-tête invalide (largeur ou hauteur de plus de cinq octets ou au-delà de 2^31 - 1)";
    const std::string tooLarge =
        " pixels, trop grande (au plus 65535 pixels de côté et 16777216 pixels en tout)";
    struct Case {
        std::string line;
        int status;
        std::string out, err;
    };
    // The file `name` refused for `reason`, after `line` runs; a file of the given bytes.
    const auto refused = [](const std::string& line, const std::string& name,
                            const std::string& reason, int status = 1, std::string out = "") {
        return Case{line, status, out, "varnock-view : \"" + name + "\" : " + reason + "\n"};
    };
    const auto bad = [&](const std::string& bytes, const std::string& reason) {
        return refused("printf '" + bytes + "' >f && $V f", "f", reason);
    };
    const auto usage = [&](const std::string& line, const std::string& problem) {
        return Case{line, 2, "", "varnock-view : " + problem + "\n\n" + help};
    };
    const std::string terminal = "script -qec \"stty cols ";
    const bool root = geteuid() == 0;  // reads any file
    const Case cases[] = {
        {"$V odd", 0, odd, ""},
        {"cp odd ./-x && $V -- -x", 0, odd, ""},
        {"COLUMNS=2 $V --width 300 odd", 0, odd, ""},  // never enlarged
        {"COLUMNS=20 $V --width 10 black", 0, blackLines, ""},
        {"$V white --width=10", 0, whiteLines, ""},
        {"COLUMNS=10 $V white", 0, whiteLines, ""},
        {"COLUMNS=abc $V wide", 0, line80 + line80, ""},  // 80 columns, 5 x 80 / 160 rows
        {"NO_COLOR=1 " + terminal + "10; $V white\" /dev/null", 0, whiteLines, ""},
        {"TERM=dumb " + terminal + "0; $V wide\" /dev/null", 0, line80 + line80, ""},
        {"NO_COLOR= " + terminal + "10; $V odd\" /dev/null", 0, coloured, ""},
        {"unset TERM; " + terminal + "10; $V odd\" /dev/null", 0, coloured, ""},
        {"$V tall", 0, line80, ""},
        {"$V big | uniq -c", 0, "     40 " + line80, ""},
        bad("\\0\\0\\204\\200\\0\\1\\0", "image de 65536 × 1" + tooLarge),
        bad("\\0\\0\\240\\1\\240\\0\\0", "image de 4097 × 4096" + tooLarge),
        bad("\\0\\0\\207\\377\\377\\377\\177\\1\\0", "image de 2147483647 × 1" + tooLarge),
        bad("\\1\\0\\5\\3\\260\\300\\130", notWbmp),
        bad("\\0\\1\\5\\3\\260\\300\\130", notWbmp),
        bad("", "fichier vide"),
        bad("\\0\\0\\0\\5\\0", "taille invalide : 0 × 5 pixels"),
        bad("\\0\\0\\210\\200\\200\\200\\0\\1\\0", badNumber),
        bad("\\0\\0\\200\\200\\200\\200\\200\\1\\1\\0", badNumber),
        refused("(printf '\\0\\0'; tr '\\0' '\\377' </dev/zero) | timeout 20 $V /dev/stdin",
                "/dev/stdin", badNumber),  // continuation bits without end
        bad("\\0", cut),
        bad("\\0\\0", cut),
        bad("\\0\\0\\5", cut),
        bad("\\0\\0\\5\\3\\260\\300", "fichier tronqué (données de l'image incomplètes)"),
        refused("$V missing", "missing", "fichier introuvable"),
        refused("$V .", ".", "c'est un dossier, pas une image"),
        root ? Case{"$V odd", 0, odd, ""}
             : refused("cp odd locked && chmod 0 locked && $V locked", "locked",
                       "lecture non permise"),
        refused("$V odd >/dev/full", "odd", "erreur d'écriture du dessin"),
        refused("$V --gif no/such.gif odd", "no/such.gif", "écriture du GIF impossible"),
        refused("ln -s /dev/full full.gif && $V --gif full.gif odd", "full.gif",
                "écriture du GIF impossible"),
        // A write cut short keeps the file it would replace and leaves nothing beside it.
        {"mkdir k && cd k && printf old >k.gif && (trap '' XFSZ; ulimit -f 0; $V --gif k.gif "
         "../odd; echo $?) 2>&1 | cat; ls; cat k.gif",
         0, "varnock-view : \"k.gif\" : écriture du GIF impossible\n1\nk.gif\nold", ""},
        {"$V --gif black.gif black", 0, "", ""},
        usage("$V --width 10", "il manque l'image WBMP"),
        usage("$V a b", "une seule image à la fois, en trop : \"b\""),
        usage("$V --largeur a", "option inconnue \"--largeur\""),
        usage("$V a --width", "il manque le nombre de colonnes après \"--width\""),
        usage("$V --width=12abc a",
              "largeur invalide (un nombre de colonnes, 1 ou plus) : \"12abc\""),
        usage("$V a --gif", "il manque le fichier GIF après \"--gif\""),
        usage("$V --gif= a", "nom de fichier GIF vide"),
        usage("$V --gif b.gif --width 9 a", "--width règle le dessin, il ne va pas avec --gif")};
    for (const Case& c : cases) {
        const auto result = run(dir, c.line);
        EXPECT_EQ(result.exitStatus, c.status) << c.line;
        EXPECT_EQ(result.out, c.out) << c.line;
        EXPECT_EQ(result.err, c.err) << c.line;
    }

    // The GIF: no transparent colour, every pixel as drawn; netpbm's bitmap (a set bit black)
    // has the WBMP's bytes inverted.
    gdImagePtr image = gdImageCreateFromFile((dir + "/black.gif").c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::tuple(gdImageSX(image), gdImageSY(image), gdImageGetTransparent(image)),
              std::tuple(40, 40, -1));
    int wrong = 0;
    for (int at = 0; at < 1600; ++at) {
        const bool white = at % 40 != 17 && at / 40 != 22;
        wrong += gdImageGetTrueColorPixel(image, at % 40, at / 40) != (white ? 0xFFFFFF : 0);
    }
    gdImageDestroy(image);
    EXPECT_EQ(wrong, 0);
    if (std::system("command -v giftopnm >/dev/null") != 0) GTEST_SKIP() << "no giftopnm";
    const Bytes wbmp = cross(40, 40, 17, 22, false);
    std::string pbm = "P4\n40 40\n";
    for (std::size_t at = 4; at < wbmp.size(); ++at)
        pbm += char(~wbmp[at]);
    EXPECT_EQ(run(dir, "giftopnm black.gif").out, pbm);
}

}  // namespace
