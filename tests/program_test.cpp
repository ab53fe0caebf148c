// The program (and the packer of its page) end to end, through the real command line. Each row
// is a bash script run in a fresh folder holding pic.gif (a 40 x 40 sample), dest.wbmp (an older
// file) and cv.html (someone else's page); the row gives the exit status, what standard output and
// standard error show, and bash checks of the folder afterwards. The shell functions below are
// the rows' vocabulary.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

using testsupport::ScratchDir;

const std::string kBanner =
    "varnock : conversion d'images GIF en images WAP (WBMP)\nLogiciels downloadables "
    "sur " VARNOCK_HOMEPAGE "\nQuand on les utilise, ils recopient mon CV, merci de le lire...\n\n";
const std::string kUsage =
    "utilisation :\n\n   varnock  srce.gif  dest.wbmp  widthOrZero  heightOrZero\n\narguments :\n\n"
    "   srce.gif         fichier GIF d'origine\n   dest.wbmp        image WAP qui sera construite\n"
    "   widthOrZero      largeur de l'image WAP, ou 0 (automatique)\n"
    "   heightOrZero     hauteur de l'image WAP, ou 0 (automatique)\n\n"
    "exemple sur une image d'origine de 200 de large et 150 de haut :\n\n"
    "   widthOrZero   heightOrZero   largeur WAP   hauteur WAP\n"
    "        0              O            200           150\n"
    "       40              0             40            30\n"
    "        0             45             60            45\n"
    "       99             77             99            77\n\n"
    "on peut construire une image WAP plus grande que l'origine GIF.\n\n";

// v: the program. gif W H: 35 bytes announcing a W x H picture whose pixels libgd makes up.
// fresh F: F is pic.gif converted at its own size. kept: dest.wbmp, cv.html and pic.gif as they
// were. names N...: the folder holds exactly these. aged: cv.html gets mode 640 and an old time
// (and is copied as the reference); untouched: it still has both and its bytes. page: cv.html is
// the program's page. nobody: v in a folder it may not write, as the user nobody where root runs
// the tests (mode 000 and 444 files hold for both). $D: tests/data, $S: the source tree, $R: a
// folder for references.
// clang-format off
const std::string kPrelude = R"sh(set -e
v() { "$V" "$@"; }
le() { for n; do printf "\\x$(printf %02x $((n & 255)))\\x$(printf %02x $((n >> 8)))"; done; }
gif() { printf 'GIF89a'; le $1 $2; printf '\x80\0\0\0\0\0\xff\xff\xff,\0\0\0\0'; le $1 $2; printf '\0\2\2\x44\1\0;'; }
fresh() { cmp "$1" "$D/expected/giflib-treescap-87a__0__0.wbmp"; }
kept() { cmp dest.wbmp "$R/dest.wbmp"; cmp cv.html "$R/cv.html"; cmp pic.gif "$D/gif/giflib-treescap-87a.gif"; }
names() { [ "$(echo $(ls -A))" = "$*" ]; }
aged() { chmod 640 cv.html; touch -d @1000000000 cv.html; cp cv.html "$R/cv.html"; }
untouched() { [ "$(stat -c %Y.%a cv.html)" = 1000000000.640 ]; cmp cv.html "$R/cv.html"; }
page() { cmp cv.html "$S/docs/cv.html"; }
nobody() { chmod 755 .; if [ $(id -u) = 0 ]; then setpriv --reuid=65534 --regid=65534 --clear-groups "$V" "$@"; else v "$@"; fi; }
)sh";
// The folder's three files, copied as the references.
const std::string kFolder = R"sh(cp "$D/gif/giflib-treescap-87a.gif" pic.gif; printf %1000s | tr ' ' U >dest.wbmp
printf '<!DOCTYPE html>\n<title>Mon CV</title>\r\n<p>caf\303\251</p>\n' >cv.html; cp dest.wbmp cv.html "$R"
)sh";
// clang-format on

// The test case's name, the script, its exit status, its output (b: banner, u: banner and usage,
// p: banner and fresh's picture, -: none), the name the error message shows (empty: nothing on
// standard error) and the check that must succeed afterwards (empty: kept).

// clang-format off
const std::tuple<const char*, const char*, int, char, const char*, const char*> kRows[] = {
    // The usage: any other count of arguments than four.
    {"UsageWithoutArgumentsWritesThePage", "rm cv.html; v", 0, 'u', "", "page; names cv.html dest.wbmp pic.gif"},
    // Conversions: the destination's bytes change, not what it is.
    {"LettersForSizesKeepTheGifsSize", "v pic.gif dest.wbmp abc xyz", 0, 'b', "", "fresh dest.wbmp; cmp cv.html $R/cv.html; names cv.html dest.wbmp pic.gif"},
    {"ReplacedDestinationKeepsItsMode", "chmod 604 dest.wbmp; v pic.gif dest.wbmp 0 0", 0, 'b', "", "fresh dest.wbmp; [ $(stat -c %a dest.wbmp) = 604 ]"},
    {"NewDestinationFollowsTheUmask", "umask 026; v pic.gif new.wbmp 0 0", 0, 'b', "", "fresh new.wbmp; [ $(stat -c %a new.wbmp) = 640 ]"},
    {"LinkedDestinationStaysALink", "chmod 600 dest.wbmp; ln -s dest.wbmp l.wbmp; v pic.gif l.wbmp 0 0", 0, 'b', "",
     "[ -L l.wbmp ]; fresh dest.wbmp; [ $(stat -c %a dest.wbmp) = 600 ]; names cv.html dest.wbmp l.wbmp pic.gif"},
    {"UnwritableFolderDestinationWrittenInPlace", "chmod 666 dest.wbmp; chmod 444 cv.html; nobody pic.gif dest.wbmp 0 0", 0, 'b', "", "fresh dest.wbmp; cmp cv.html $R/cv.html; names cv.html dest.wbmp pic.gif"},
    {"ReplacedDestinationKeepsItsOwner", "[ $(id -u) != 0 ] || chown 65534:0 dest.wbmp; v pic.gif dest.wbmp 0 0", 0, 'b', "",
     "fresh dest.wbmp; [ $(id -u) != 0 ] || [ $(stat -c %u:%g dest.wbmp) = 65534:0 ]"},
    {"ReplacedDestinationKeepsItsGroup", "[ $(id -u) != 0 ] || chown 0:65534 dest.wbmp; v pic.gif dest.wbmp 0 0", 0, 'b', "",
     "fresh dest.wbmp; [ $(id -u) != 0 ] || [ $(stat -c %u:%g dest.wbmp) = 0:65534 ]"},
    {"DanglingLinkDestinationCreatesItsTarget", "rm dest.wbmp; ln -s dest.wbmp l.wbmp; v pic.gif l.wbmp 0 0", 0, 'b', "", "[ -L l.wbmp ]; fresh dest.wbmp"},
    {"StandardOutputGetsBannerThenPicture", "v pic.gif /dev/stdout 0 0", 0, 'p', "", "kept; names cv.html dest.wbmp pic.gif"},
    // Failures exit 1 and lose nothing.
    {"MissingSourceNamedAsTyped", "v './no dir/%s.gif' new.wbmp 0 0", 1, 'b', "./no dir/%s.gif", "kept; names cv.html dest.wbmp pic.gif"},
    {"EmptySourceFails", ": >e.gif; v e.gif dest.wbmp 0 0", 1, 'b', "e.gif", ""},
    {"TruncatedHeaderFails", "echo GIF89a >t.gif; v t.gif dest.wbmp 0 0", 1, 'b', "t.gif", ""},
    {"NegativeWidthAndZeroHeightFail", "v pic.gif pic.gif -3 0", 1, 'b', "pic.gif", ""},
    {"MissingDestinationFolderFails", "v pic.gif no/new.wbmp 0 0", 1, 'b', "pic.gif", "kept; names cv.html dest.wbmp pic.gif"},
    {"FolderDestinationFails", "mkdir f.wbmp; v pic.gif f.wbmp 0 0", 1, 'b', "pic.gif", "kept; rmdir f.wbmp"},
    {"FullDeviceFails", "d=/dev/full; [ $(id -u) != 0 ] || { mknod full c 1 7; d=full; }; v pic.gif $d 0 0", 1, 'b', "pic.gif", ""},
    // A write beyond the file size limit (as on a full disk), cv.html's too.
    {"FileSizeLimitKeepsTheDestination", "(ulimit -f 4; v pic.gif dest.wbmp 0 300)", 1, 'b', "pic.gif", "kept; names cv.html dest.wbmp pic.gif"},
    {"FileSizeLimitKeepsTheSourceAsDestination", "(ulimit -f 4; v pic.gif pic.gif 0 300)", 1, 'b', "pic.gif", "kept; names cv.html dest.wbmp pic.gif"},
    {"FileSizeLimitKeepsALinkedDestination", "ln -s dest.wbmp l.wbmp; (ulimit -f 4; v pic.gif l.wbmp 0 300)", 1, 'b', "pic.gif", "kept; [ -L l.wbmp ]; names cv.html dest.wbmp l.wbmp pic.gif"},
    {"FileSizeLimitLeavesNoPageAndNoPicture", "rm cv.html; (ulimit -f 4; v pic.gif new.wbmp 0 300)", 1, 'b', "pic.gif", "names dest.wbmp pic.gif"},
    // Pipes, FIFOs and standard input give what the file gives; endless sources end.
    {"PipeGivesWhatTheFileGives", "cat pic.gif | v /dev/stdin new.wbmp 0 0", 0, 'b', "", "fresh new.wbmp"},
    {"RedirectedInputGivesWhatTheFileGives", "v /dev/stdin new.wbmp 0 0 <pic.gif", 0, 'b', "", "fresh new.wbmp"},
    // A FIFO without a reader swapped for a regular file before it is opened again (strace holds the program there).
    {"FifoSwappedWhileOpenedIsRefused", "mkfifo d; ASAN_OPTIONS=detect_leaks=0 strace -qqf -e trace=openat2 -e inject=openat2:delay_exit=2000000 -o t \"$V\" pic.gif d 0 0 & "
     "until grep -qs ENXIO t; do sleep 0.05; done; rm d; printf old >d; wait $!", 1, 'b', "pic.gif", "[ $(cat d) = old ]"},
    {"FifoGivesWhatTheFileGives", "mkfifo f; cat pic.gif >f & v f new.wbmp 0 0", 0, 'b', "", "fresh new.wbmp"},
    {"CutPipeFails", "head -c 20 pic.gif | v /dev/stdin new.wbmp 0 0", 1, 'b', "/dev/stdin", "kept; names cv.html dest.wbmp pic.gif"},
    {"PaddingUpTo32MiBIsRead", "{ gif 4 4 | head -c 19; head -c 33554398 /dev/zero; gif 4 4 | tail -c +20; } | v /dev/stdin new.wbmp 0 0", 0, 'b', "", "[ -s new.wbmp ]"},
    {"PaddingBeyond32MiBFails", "{ gif 4 4 | head -c 19; head -c 33554399 /dev/zero; gif 4 4 | tail -c +20; } | v /dev/stdin new.wbmp 0 0", 1, 'b', "/dev/stdin", ""},
    {"EndlessStreamBeforeTheImageFails", "{ gif 4 4 | head -c 19; cat /dev/zero; } | v /dev/stdin new.wbmp 0 0", 1, 'b', "/dev/stdin", ""},
    {"EndlessStreamAfterTheImageIsNotRead", "{ gif 4 4; cat /dev/zero; } | v /dev/stdin new.wbmp 0 0", 0, 'b', "", "[ -s new.wbmp ]"},
    // cv.html: only a file that begins with the page's first five lines is ours and is brought up
    // to date; any other file, link or FIFO stays as it was; a folder stops the run.
    {"ForeignCvHtmlIsOnlyRead", "aged; v pic.gif new.wbmp 0 0", 0, 'b', "", "untouched; fresh new.wbmp"},
    {"OldPageIsReplacedKeepingItsMode", "{ head -n5 $S/docs/cv.html; echo old; } >cv.html; aged; v", 0, 'u', "", "page; [ $(stat -c %a cv.html) = 640 ]"},
    {"CutPageIsCompleted", "head -n5 $S/docs/cv.html >cv.html; aged; v", 0, 'u', "", "page"},
    {"CurrentPageIsLeftAlone", "cp $S/docs/cv.html .; aged; v", 0, 'u', "", "untouched"},
    {"PageAfterOtherLinesIsForeign", "{ echo notes; head -n5 $S/docs/cv.html; } >cv.html; aged; v", 0, 'u', "", "untouched"},
    {"PageCutWithinItsFirstLinesIsForeign", "head -c 104 $S/docs/cv.html >cv.html; aged; v", 0, 'u', "", "untouched"},
    {"LinkedCvHtmlIsLeftAlone", "rm cv.html; head -n5 $S/docs/cv.html >t.html; ln -s t.html cv.html; v pic.gif new.wbmp 0 0", 0, 'b', "",
     "[ -L cv.html ]; head -n5 $S/docs/cv.html | cmp t.html; fresh new.wbmp"},
    {"UnreadableCvHtmlStopsTheRun", "chmod 000 cv.html; nobody pic.gif new.wbmp 0 0", 1, 'b', "can't write cv.html", "chmod 600 cv.html; kept; names cv.html dest.wbmp pic.gif"},
    {"OldPageThatCannotBeReplacedStopsTheRun", "{ head -n5 $S/docs/cv.html; echo old; } >cv.html; chmod 444 cv.html; cp cv.html $R; nobody", 1, 'b', "can't write cv.html", ""},
    {"CurrentReadOnlyPageIsEnough", "cp $S/docs/cv.html .; chmod 444 cv.html; nobody", 0, 'u', "", "page"},
    {"FifoCvHtmlIsLeftAlone", "rm cv.html; mkfifo cv.html; v pic.gif new.wbmp 0 0", 0, 'b', "", "[ -p cv.html ]; fresh new.wbmp"},
    {"FolderCvHtmlStopsTheRun", "rm cv.html; mkdir cv.html; v pic.gif new.wbmp 0 0", 1, 'b', "can't write cv.html", "rmdir cv.html; names dest.wbmp pic.gif"},
    {"RemovedWorkingFolderStopsTheRun", "mkdir g; cd g; rmdir ../g; v", 1, 'b', "can't write cv.html", "names cv.html dest.wbmp pic.gif"},
    // The packer of the embedded page refuses a zero byte and leaves nothing.
    {"PackerRefusesAZeroByte", "printf '<p>a\\0b</p>\\n' >in.html; $P in.html out.cpp 2>/dev/null", 1, '-', "", "[ ! -e out.cpp ]; names cv.html dest.wbmp in.html pic.gif"},
    // Many conversions at once in one folder, twice, as the README runs them.
    {"ManyRunsAtOnceInOneFolder", "rm cv.html; mkdir p; for n in giflib-x-trans sharp-grey-2x1 nsgif-fuzz-1x32 giflib-wedge-87a giflib-porsche-87a "
     "ptest-static-transparent; do for i in 0 1 2; do cp $D/gif/$n.gif p/$n-$i.gif; done; done; for round in 1 2; do "
     "find p -name '*.gif' -print0 | xargs -0 -n 1 -P 8 sh -c '\"$0\" \"$1\" \"${1%.gif}.wbmp\" 0 0 >/dev/null' \"$V\"; page; done",
     0, '-', "", "for f in p/*.gif; do n=${f#p/}; cmp ${f%.gif}.wbmp $D/expected/${n%-?.gif}__0__0.wbmp; done; [ ! -e p/cv.html ]"},
    // GNU parallel as the README runs it over ssh, with this machine (':') as the only host.
    {"ParallelWithThisMachineAsTheOnlyHost", "rm cv.html; mkdir p; cp pic.gif p/a.gif; cp $D/gif/giflib-x-trans.gif 'p/b c.gif'; find p -name '*.gif' -print0 | "
     "parallel -0 -S : --transferfile {} --return {.}.wbmp --cleanup \"$V\" {} {.}.wbmp 0 0 >/dev/null 2>w",
     0, '-', "", "fresh p/a.wbmp; cmp 'p/b c.wbmp' $D/expected/giflib-x-trans__0__0.wbmp; cmp p/a.gif pic.gif; "
     "! grep -v 'no remote --sshlogin' w; page; names cv.html dest.wbmp p pic.gif w"},
    // Files are born owner-only (strace), sticky folders, a 4,076-byte path, control bytes shown as ?.
    {"NewFilesAreBornOwnerOnly", "rm cv.html; umask 0; ASAN_OPTIONS=detect_leaks=0 strace -qqf -e trace=open,openat,openat2 -o $R/t \"$V\" pic.gif new.wbmp 0 0", 0, 'b', "",
     "! grep O_CREAT $R/t | grep -v 0600; [ $(stat -c %a new.wbmp cv.html | uniq) = 666 ]; fresh new.wbmp"},
    {"StickyFolderWritesInPlace", "mkdir -m 1777 s; cp dest.wbmp s; chmod 666 s/dest.wbmp; nobody pic.gif s/dest.wbmp 0 0", 0, 'b', "", "fresh s/dest.wbmp; [ $(stat -c %u%a s/dest.wbmp) = 0666 ]"},
    {"LongRelativePathWorks", "p=$(printf %0250d/ $(seq 16)); mkdir -p $p; v pic.gif $p$(printf %060d 0) 0 0", 0, 'b', "", "fresh $(printf %0250d/ $(seq 16))$(printf %060d 0)"},
    {"ControlBytesShownAsQuestionMarks", "v $'caf\\xc3\\xa9\\e]0;x\\a\\t\\n\\x7f.gif' n.wbmp 0 0", 1, 'b', "caf\xc3\xa9?]0;x????.gif", ""},
};
// clang-format on

TABLE_TEST(Program, Run, kRows) {
    const std::string picture =
        testsupport::readText(VARNOCK_TEST_DATA "/expected/giflib-treescap-87a__0__0.wbmp");
    const auto& [name, script, status, out, err, check] = GetParam();
    ScratchDir dir, ref;
    const std::string prelude = "R='" + ref.path().string() + "'\n" + kPrelude;
    const auto run = testsupport::runScript(dir, prelude + kFolder + script);
    EXPECT_EQ(run.exitStatus, status);
    const std::string tail = out == 'u' ? kUsage : out == 'p' ? picture : "";
    EXPECT_EQ(run.out, out == '-' ? "" : kBanner + tail);
    EXPECT_EQ(run.err, *err ? "*** varnock ERROR \"" + std::string(err) + "\"\n\n" : "");
    const auto after =
        testsupport::runScript(dir, prelude + "set -x\n" + (*check ? check : "kept"));
    EXPECT_EQ(after.exitStatus, 0) << after.err;
}

}  // namespace
