// The varnock-view program through its command line: drawings, the width they fit (--width,
// COLUMNS, the terminal, else 80) and their colour (only on a terminal that wants it), the size
// bound, --gif read back by varnock (libgd) and netpbm, each refusal's message and usage errors.
#include <gtest/gtest.h>

#include <tuple>

#include "test_support.h"

namespace {

// Runs `line` in `dir` ($W the viewer, $V varnock) with TERM=xterm and neither COLUMNS nor
// NO_COLOR set; a terminal's carriage returns are dropped from the output.
testsupport::RunResult run(const testsupport::ScratchDir& dir, const std::string& line) {
    auto result = testsupport::runScript(dir, "unset COLUMNS NO_COLOR; export TERM=xterm; " + line);
    std::erase(result.out, '\r');
    return result;
}

TEST(ViewProgram, DrawsRefusesAndExports) {
    testsupport::ScratchDir dir;
    // odd: 5 x 3 with every glyph; white, black: 10 x 6 crossed at column 3 and row 4 by white
    // lines or black ones; wide 160 x 5, tall 65535 x 1, big 4096 x 4096 (at the bounds) black.
    run(dir, R"(printf '\0\0\5\3\260\300\130' >odd; z() { printf "$2"; head -c $3 /dev/zero; }
        printf '\0\0\12\6\20\0\20\0\20\0\20\0\377\300\20\0' >white
        printf '\0\0\12\6\357\300\357\300\357\300\357\300\0\0\357\300' >black
        z wide '\0\0\201\40\5' 100 >wide; z tall '\0\0\203\377\177\1' 8192 >tall
        z big '\0\0\240\0\240\0' 2097152 >big)");
    const std::string odd = "█▄▀▀ \n ▀ ▀▀\n", cross = "▄█▄▄", line80 = std::string(80, ' ') + "\n";
    const std::string coloured = "\x1b[97;40m" + cross + "\x1b[0m\n",
                      help = run(dir, "$W --help").out;
    const std::string tty = "script -qec \"stty cols ", noGif = "écriture du GIF impossible";
    const std::string notWbmp = "ce n'est pas une image WBMP de type 0";
    const std::string cut = "fichier tronqué (en-tête incomplet)";
    const std::string badNumber =
        "en-tête invalide (largeur ou hauteur de plus de cinq octets ou au-delà de 2^31 - 1)";
    const std::string tooLarge =
        " pixels, trop grande (au plus 65535 pixels de côté et 16777216 pixels en tout)";
    const auto says = [](const std::string& file, const std::string& reason) {
        return "varnock-view : \"" + file + "\" : " + reason + "\n";
    };
    using Case = std::tuple<std::string, int, std::string, std::string>;
    // A file of the given bytes (printf's escapes) refused for `reason`; a wrong command line.
    const auto bad = [&](const std::string& bytes, const std::string& reason) {
        return Case{"printf '" + bytes + "' >f && $W f", 1, "", says("f", reason)};
    };
    const auto usage = [&](const std::string& line, const std::string& problem) {
        return Case{line, 2, "", "varnock-view : " + problem + "\n\n" + help};
    };
    // command line, exit status, standard output, standard error
    const Case cases[] = {
        {"$W -h >h && $W --help | cmp - h && head -3 h", 0,
         "utilisation :\n\n   varnock-view  [--width N]  image.wbmp\n", ""},
        {"cp odd ./-x && COLUMNS=2 $W --width 2147483647 -- -x", 0, odd, ""},  // never enlarged
        {R"(printf '\0\0\1\4\200\0\0\200' >n && $W n)", 0, "▀\n▄\n", ""},      // 1 x 4
        {"$W black --width=4", 0, "▀ ▀▀\n", ""},
        {"COLUMNS=4 $W white", 0, cross + "\n", ""},
        {"NO_COLOR=1 " + tty + "4; $W white\" /dev/null", 0, cross + "\n", ""},
        // 80 columns, 5 x 80 / 160 rows rounded to 3
        {"COLUMNS=abc TERM=dumb " + tty + "0; $W wide\" /dev/null", 0, line80 + line80, ""},
        {"NO_COLOR= " + tty + "4; $W white\" /dev/null", 0, coloured, ""},
        {"unset TERM; " + tty + "4; $W white\" /dev/null", 0, coloured, ""},
        {"$W tall", 0, line80, ""},
        {"printf '\\0\\0\\2\\2\\200\\100' >tie && $W --width 1 tie", 0, " \n",
         ""},  // a tie: white is the rarer
        {"$W big | uniq -c", 0, "     40 " + line80, ""},
        bad(R"(\0\0\1\204\200\0\0)", "image de 1 × 65536" + tooLarge),
        bad(R"(\0\0\240\1\240\0\0)", "image de 4097 × 4096" + tooLarge),
        bad(R"(\1\0\5\3\0)", notWbmp),
        bad(R"(\0\1\5\3\0)", notWbmp),
        bad("", "fichier vide"),
        bad(R"(\0\0\0\5\0)", "taille invalide : 0 × 5 pixels"),
        bad(R"(\0\0\5\0)", "taille invalide : 5 × 0 pixels"),
        bad(R"(\0\0\210\200\200\200\0\1\0)", badNumber),
        bad(R"(\0\0\200\200\200\200\200\1\1\0)", badNumber),
        bad(R"(\0)", cut),
        bad(R"(\0\0)", cut),
        bad(R"(\0\0\5\3\260\300)", "fichier tronqué (données de l'image incomplètes)"),
        {"$W missing", 1, "", says("missing", "fichier introuvable")},
        {"$W .", 1, "", says(".", "c'est un dossier, pas une image")},
        {"cp odd locked && chmod 0 locked && if [ $(id -u) = 0 ]; then setpriv --reuid=65534 "
         "--regid=65534 --clear-groups $W locked; else $W locked; fi",  // root reads any file
         1, "", says("locked", "lecture non permise")},
        {"$W odd >/dev/full", 1, "", says("odd", "erreur d'écriture du dessin")},
        {"$W odd --gif no/such.gif", 1, "", says("no/such.gif", noGif)},
        {"ln -s /dev/full full.gif && $W --gif full.gif odd", 1, "", says("full.gif", noGif)},
        // A write cut short keeps the file it would replace and leaves nothing beside it.
        {"mkdir k && cd k && printf old >k.gif && (trap '' XFSZ; ulimit -f 0; $W --gif k.gif "
         "../odd; "
         "echo $?) 2>&1 | cat; ls; cat k.gif",
         0, says("k.gif", noGif) + "1\nk.gif\nold", ""},
        // No transparent colour (GIF87a); every pixel as varnock (libgd) and netpbm read it.
        {"$W --gif=g.gif black && head -c6 g.gif && $V g.gif g.wbmp 0 0 >/dev/null && "
         "cmp g.wbmp black",
         0, "GIF87a", ""},
        {"command -v giftopnm >/dev/null || exit 0; giftopnm g.gif | cmp - <(wbmptopbm black)", 0,
         "", ""},
        usage("$W --width 10", "il manque l'image WBMP"),
        usage("$W a b", "une seule image à la fois, en trop : \"b\""),
        usage("$W --largeur a", "option inconnue \"--largeur\""),
        usage("$W a --width", "il manque le nombre de colonnes après \"--width\""),
        usage("$W --width=12abc a",
              "largeur invalide (un nombre de colonnes, 1 ou plus) : \"12abc\""),
        usage("$W a --gif", "il manque le fichier GIF après \"--gif\""),
        usage("$W --gif= a", "nom de fichier GIF vide"),
        usage("$W --gif b.gif --width 9 a", "--width règle le dessin, il ne va pas avec --gif"),
        // Under a file size limit: a failed write, the old file whole and nothing left beside it.
        {"echo old >q; (ulimit -f 0; $W --gif q odd; $W odd >d) 2>&1 | cat; ls d q*; cat q", 0,
         says("q", noGif) + says("odd", "erreur d'écriture du dessin") + "d\nq\nold\n", ""}};
    for (const auto& [line, status, out, err] : cases) {
        const auto result = run(dir, line);
        EXPECT_EQ(result.exitStatus, status) << line;
        EXPECT_EQ(result.out, out) << line;
        EXPECT_EQ(result.err, err) << line;
    }
}

}  // namespace
