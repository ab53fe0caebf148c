// The varnock-view program through its command line: drawings, the width they fit (--width,
// COLUMNS, the terminal, else 80) and their colour (only on a terminal that wants it), the size
// bound, --gif read back by varnock (libgd) and netpbm, each refusal's message and usage errors.
#include <gtest/gtest.h>

#include <tuple>

#include "test_support.h"

namespace {

// The files every case finds in its folder, with TERM=xterm and neither COLUMNS nor NO_COLOR set.
// odd: 5 x 3 with every glyph; white, black: 10 x 6 crossed at column 3 and row 4 by white lines or
// black ones; wide 160 x 5, tall 65535 x 1, big 4096 x 4096 (at the bounds) black; g.gif: black
// exported.
const std::string kFiles =
    "unset COLUMNS NO_COLOR; export TERM=xterm\n"
    R"(printf '\0\0\5\3\260\300\130' >odd; z() { printf "$2"; head -c $3 /dev/zero; }
    printf '\0\0\12\6\20\0\20\0\20\0\20\0\377\300\20\0' >white
    printf '\0\0\12\6\357\300\357\300\357\300\357\300\0\0\357\300' >black
    z wide '\0\0\201\40\5' 100 >wide; z tall '\0\0\203\377\177\1' 8192 >tall
    z big '\0\0\240\0\240\0' 2097152 >big; $W --gif=g.gif black)";

// Runs `line` ($W the viewer, $V varnock) in a fresh folder holding those files; a terminal's
// carriage returns are dropped from the output.
testsupport::RunResult run(const std::string& line) {
    testsupport::ScratchDir dir;
    auto result = testsupport::runScript(dir, kFiles + "\n" + line);
    std::erase(result.out, '\r');
    return result;
}

const std::string odd = "█▄▀▀ \n ▀ ▀▀\n", cross = "▄█▄▄", line80 = std::string(80, ' ') + "\n";
const std::string coloured = "\x1b[97;40m" + cross + "\x1b[0m\n";
const std::string tty = "script -qec \"stty cols ", noGif = "écriture du GIF impossible";
const std::string notWbmp = "ce n'est pas une image WBMP de type 0";
const std::string cut = "fichier tronqué (en-tête incomplet)";
const std::string badNumber =
    "en-tête invalide (largeur ou hauteur de plus de cinq octets ou au-delà de 2^31 - 1)";
const std::string tooLarge =
    " pixels, trop grande (au plus 65535 pixels de côté et 16777216 pixels en tout)";
std::string says(const std::string& file, const std::string& reason) {
    return "varnock-view : \"" + file + "\" : " + reason + "\n";
}
// name, command line, exit status, standard output, standard error
using Case = std::tuple<const char*, std::string, int, std::string, std::string>;
// A file of the given bytes (printf's escapes) refused for `reason`; a wrong command line, whose
// message the test follows with the help text.
Case bad(const char* name, const std::string& bytes, const std::string& reason) {
    return Case{name, "printf '" + bytes + "' >f && $W f", 1, "", says("f", reason)};
}
Case usage(const char* name, const std::string& line, const std::string& problem) {
    return Case{name, line, 2, "", "varnock-view : " + problem + "\n\n"};
}
// clang-format off
const Case kCases[] = {
    {"HelpOnBothOptions", "$W -h >h && $W --help | cmp - h && head -3 h", 0, "utilisation :\n\n   varnock-view  [--width N]  image.wbmp\n", ""},
    {"VersionIsTheProjects", "$W --version", 0, "varnock-view (varnock) " VARNOCK_VERSION "\n", ""},
    {"NeverEnlargedAndDashDashEndsOptions", "cp odd ./-x && COLUMNS=2 $W --width 2147483647 -- -x", 0, odd, ""},  // never enlarged
    {"OneColumnFourRows", R"(printf '\0\0\1\4\200\0\0\200' >n && $W n)", 0, "▀\n▄\n", ""},      // 1 x 4
    {"WidthOptionWithEqualsSign", "$W black --width=4", 0, "▀ ▀▀\n", ""},
    {"ColumnsVariableSetsTheWidth", "COLUMNS=4 $W white", 0, cross + "\n", ""},
    {"NoColorTurnsColoursOff", "NO_COLOR=1 " + tty + "4; $W white\" /dev/null", 0, cross + "\n", ""},
    // 80 columns, 5 x 80 / 160 rows rounded to 3
    {"DumbTerminalOfUnknownWidthGets80Columns", "COLUMNS=abc TERM=dumb " + tty + "0; $W wide\" /dev/null", 0, line80 + line80, ""},
    {"EmptyNoColorKeepsColours", "NO_COLOR= " + tty + "4; $W white\" /dev/null", 0, coloured, ""},
    {"TerminalWithoutTermIsColoured", "unset TERM; " + tty + "4; $W white\" /dev/null", 0, coloured, ""},
    {"WidestPictureIn80Columns", "$W tall", 0, line80, ""},
    {"TieGoesToWhiteTheRarer", "printf '\\0\\0\\2\\2\\200\\100' >tie && $W --width 1 tie", 0, " \n", ""},  // a tie: white is the rarer
    {"LargestPictureDrawn", "$W big | uniq -c", 0, "     40 " + line80, ""},
    bad("SideAbove65535Refused", R"(\0\0\1\204\200\0\0)", "image de 1 × 65536" + tooLarge),
    bad("MoreThan16MiPixelsRefused", R"(\0\0\240\1\240\0\0)", "image de 4097 × 4096" + tooLarge),
    bad("TypeOtherThanZeroRefused", R"(\1\0\5\3\0)", notWbmp),
    bad("FixedHeaderOtherThanZeroRefused", R"(\0\1\5\3\0)", notWbmp),
    bad("EmptyFileRefused", "", "fichier vide"),
    bad("ZeroWidthRefused", R"(\0\0\0\5\0)", "taille invalide : 0 × 5 pixels"),
    bad("ZeroHeightRefused", R"(\0\0\5\0)", "taille invalide : 5 × 0 pixels"),
    bad("WidthAbove2To31Refused", R"(\0\0\210\200\200\200\0\1\0)", badNumber),
    bad("SixByteWidthRefused", R"(\0\0\200\200\200\200\200\1\1\0)", badNumber),
    bad("OneByteFileRefused", R"(\0)", cut),
    bad("TwoByteFileRefused", R"(\0\0)", cut),
    bad("CutDataRefused", R"(\0\0\5\3\260\300)", "fichier tronqué (données de l'image incomplètes)"),
    {"MissingFileRefusedControlBytesAsQuestionMarks", "$W $'mi\\e]0;x\\a\\x7fss'", 1, "", says("mi?]0;x??ss", "fichier introuvable")},
    {"FolderRefused", "$W .", 1, "", says(".", "c'est un dossier, pas une image")},
    {"UnreadableFileRefused", "cp odd locked && chmod 0 locked && if [ $(id -u) = 0 ]; then setpriv --reuid=65534 "
     "--regid=65534 --clear-groups $W locked; else $W locked; fi",  // root reads any file
     1, "", says("locked", "lecture non permise")},
    {"FullOutputRefused", "d=/dev/full; [ $(id -u) != 0 ] || { mknod full c 1 7; d=full; }; $W odd >$d", 1, "", says("odd", "erreur d'écriture du dessin")},
    {"GifInMissingFolderRefused", "$W odd --gif no/such.gif", 1, "", says("no/such.gif", noGif)},
    {"GifOnFullDeviceRefused", "d=/dev/full; [ $(id -u) != 0 ] || { mknod full c 1 7; d=full; }; ln -s $d full.gif && $W --gif full.gif odd", 1, "", says("full.gif", noGif)},
    // A write cut short keeps the file it would replace and leaves nothing beside it.
    {"CutGifWriteKeepsTheOldFile", "mkdir k && cd k && printf old >k.gif && (trap '' XFSZ; ulimit -f 0; $W --gif k.gif ../odd; "
     "echo $?) 2>&1 | cat; ls; cat k.gif", 0, says("k.gif", noGif) + "1\nk.gif\nold", ""},
    // No transparent colour (GIF87a); every pixel as varnock (libgd) and netpbm read it.
    {"GifReadBackByVarnock", "$W --gif=g.gif black && head -c6 g.gif && $V g.gif g.wbmp 0 0 >/dev/null && "
     "cmp g.wbmp black", 0, "GIF87a", ""},
    {"GifReadByNetpbm", "command -v giftopnm >/dev/null || exit 0; giftopnm g.gif | cmp - <(wbmptopbm black)", 0, "", ""},
    usage("UsageWithoutImage", "$W --width 10", "il manque l'image WBMP"),
    usage("UsageWithSecondImage", "$W a $'b\\e'", "une seule image à la fois, en trop : \"b?\""),
    usage("UsageWithUnknownOption", "$W --largeur a", "option inconnue \"--largeur\""),
    usage("UsageWithoutWidthNumber", "$W a --width", "il manque le nombre de colonnes après \"--width\""),
    usage("UsageWithInvalidWidth", "$W --width=12abc a", "largeur invalide (un nombre de colonnes, 1 ou plus) : \"12abc\""),
    usage("UsageWithoutGifFile", "$W a --gif", "il manque le fichier GIF après \"--gif\""),
    usage("UsageWithEmptyGifName", "$W --gif= a", "nom de fichier GIF vide"),
    usage("UsageWidthWithGif", "$W --gif b.gif --width 9 a", "--width règle le dessin, il ne va pas avec --gif"),
    // Under a file size limit: a failed write, the old file whole and nothing left beside it.
    {"FileSizeLimitFailsTheWrite", "echo old >q; (ulimit -f 0; $W --gif q odd; $W odd >d) 2>&1 | cat; ls d q*; cat q", 0,
     says("q", noGif) + says("odd", "erreur d'écriture du dessin") + "d\nq\nold\n", ""}};
// clang-format on

TABLE_TEST(ViewProgram, Run, kCases) {
    const auto& [name, line, status, out, err] = GetParam();
    const auto result = run(line);
    EXPECT_EQ(std::tuple(result.exitStatus, result.out, result.err),
              std::tuple(status, out, status == 2 ? err + run("$W --help").out : err));
}

}  // namespace
