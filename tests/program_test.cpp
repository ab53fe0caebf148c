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

struct Row {
    const char* script;
    int status;
    char out;           // b: banner, u: banner and usage, p: banner and fresh's picture, -: none
    const char* err;    // the name the error message shows; empty: nothing on standard error
    const char* check;  // must succeed afterwards; empty: kept
};

// clang-format off
const Row kRows[] = {
    // The usage: any other count of arguments than four.
    {"rm cv.html; v", 0, 'u', "", "page; names cv.html dest.wbmp pic.gif"},
    // Conversions: the destination's bytes change, not what it is.
    {"v pic.gif dest.wbmp abc xyz", 0, 'b', "", "fresh dest.wbmp; cmp cv.html $R/cv.html; names cv.html dest.wbmp pic.gif"},
    {"chmod 604 dest.wbmp; v pic.gif dest.wbmp 0 0", 0, 'b', "", "fresh dest.wbmp; [ $(stat -c %a dest.wbmp) = 604 ]"},
    {"umask 026; v pic.gif new.wbmp 0 0", 0, 'b', "", "fresh new.wbmp; [ $(stat -c %a new.wbmp) = 640 ]"},
    {"chmod 600 dest.wbmp; ln -s dest.wbmp l.wbmp; v pic.gif l.wbmp 0 0", 0, 'b', "",
     "[ -L l.wbmp ]; fresh dest.wbmp; [ $(stat -c %a dest.wbmp) = 600 ]; names cv.html dest.wbmp l.wbmp pic.gif"},
    {"chmod 666 dest.wbmp; chmod 444 cv.html; nobody pic.gif dest.wbmp 0 0", 0, 'b', "", "fresh dest.wbmp; cmp cv.html $R/cv.html; names cv.html dest.wbmp pic.gif"},
    {"[ $(id -u) != 0 ] || chown 65534:0 dest.wbmp; v pic.gif dest.wbmp 0 0", 0, 'b', "",
     "fresh dest.wbmp; [ $(id -u) != 0 ] || [ $(stat -c %u:%g dest.wbmp) = 65534:0 ]"},
    {"[ $(id -u) != 0 ] || chown 0:65534 dest.wbmp; v pic.gif dest.wbmp 0 0", 0, 'b', "",
     "fresh dest.wbmp; [ $(id -u) != 0 ] || [ $(stat -c %u:%g dest.wbmp) = 0:65534 ]"},
    {"rm dest.wbmp; ln -s dest.wbmp l.wbmp; v pic.gif l.wbmp 0 0", 0, 'b', "", "[ -L l.wbmp ]; fresh dest.wbmp"},
    {"v pic.gif /dev/stdout 0 0", 0, 'p', "", "kept; names cv.html dest.wbmp pic.gif"},
    // Failures exit 1 and lose nothing.
    {"v './no dir/%s.gif' new.wbmp 0 0", 1, 'b', "./no dir/%s.gif", "kept; names cv.html dest.wbmp pic.gif"},
    {": >e.gif; v e.gif dest.wbmp 0 0", 1, 'b', "e.gif", ""},
    {"echo GIF89a >t.gif; v t.gif dest.wbmp 0 0", 1, 'b', "t.gif", ""},
    {"v pic.gif pic.gif -3 0", 1, 'b', "pic.gif", ""},
    {"v pic.gif no/new.wbmp 0 0", 1, 'b', "pic.gif", "kept; names cv.html dest.wbmp pic.gif"},
    {"mkdir f.wbmp; v pic.gif f.wbmp 0 0", 1, 'b', "pic.gif", "kept; rmdir f.wbmp"},
    {"v pic.gif /dev/full 0 0", 1, 'b', "pic.gif", ""},
    // A write beyond the file size limit (as on a full disk), cv.html's too.
    {"(ulimit -f 4; v pic.gif dest.wbmp 0 300)", 1, 'b', "pic.gif", "kept; names cv.html dest.wbmp pic.gif"},
    {"(ulimit -f 4; v pic.gif pic.gif 0 300)", 1, 'b', "pic.gif", "kept; names cv.html dest.wbmp pic.gif"},
    {"ln -s dest.wbmp l.wbmp; (ulimit -f 4; v pic.gif l.wbmp 0 300)", 1, 'b', "pic.gif", "kept; [ -L l.wbmp ]; names cv.html dest.wbmp l.wbmp pic.gif"},
    {"rm cv.html; (ulimit -f 4; v pic.gif new.wbmp 0 300)", 1, 'b', "pic.gif", "names dest.wbmp pic.gif"},
    // Pipes, FIFOs and standard input give what the file gives; endless sources end.
    {"cat pic.gif | v /dev/stdin new.wbmp 0 0", 0, 'b', "", "fresh new.wbmp"},
    {"v /dev/stdin new.wbmp 0 0 <pic.gif", 0, 'b', "", "fresh new.wbmp"},
    {"mkfifo f; cat pic.gif >f & v f new.wbmp 0 0", 0, 'b', "", "fresh new.wbmp"},
    {"head -c 20 pic.gif | v /dev/stdin new.wbmp 0 0", 1, 'b', "/dev/stdin", "kept; names cv.html dest.wbmp pic.gif"},
    {"{ gif 4 4 | head -c 19; head -c 33554398 /dev/zero; gif 4 4 | tail -c +20; } | v /dev/stdin new.wbmp 0 0", 0, 'b', "", "[ -s new.wbmp ]"},
    {"{ gif 4 4 | head -c 19; head -c 33554399 /dev/zero; gif 4 4 | tail -c +20; } | v /dev/stdin new.wbmp 0 0", 1, 'b', "/dev/stdin", ""},
    {"{ gif 4 4 | head -c 19; cat /dev/zero; } | v /dev/stdin new.wbmp 0 0", 1, 'b', "/dev/stdin", ""},
    {"{ gif 4 4; cat /dev/zero; } | v /dev/stdin new.wbmp 0 0", 0, 'b', "", "[ -s new.wbmp ]"},
    // cv.html: only a file that begins with the page's first five lines is ours and is brought up
    // to date; any other file, link or FIFO stays as it was; a folder stops the run.
    {"aged; v pic.gif new.wbmp 0 0", 0, 'b', "", "untouched; fresh new.wbmp"},
    {"{ head -n5 $S/docs/cv.html; echo old; } >cv.html; aged; v", 0, 'u', "", "page; [ $(stat -c %a cv.html) = 640 ]"},
    {"head -n5 $S/docs/cv.html >cv.html; aged; v", 0, 'u', "", "page"},
    {"cp $S/docs/cv.html .; aged; v", 0, 'u', "", "untouched"},
    {"{ echo notes; head -n5 $S/docs/cv.html; } >cv.html; aged; v", 0, 'u', "", "untouched"},
    {"head -c 104 $S/docs/cv.html >cv.html; aged; v", 0, 'u', "", "untouched"},
    {"rm cv.html; head -n5 $S/docs/cv.html >t.html; ln -s t.html cv.html; v pic.gif new.wbmp 0 0", 0, 'b', "",
     "[ -L cv.html ]; head -n5 $S/docs/cv.html | cmp t.html; fresh new.wbmp"},
    {"chmod 000 cv.html; nobody pic.gif new.wbmp 0 0", 1, 'b', "can't write cv.html", "chmod 600 cv.html; kept; names cv.html dest.wbmp pic.gif"},
    {"{ head -n5 $S/docs/cv.html; echo old; } >cv.html; chmod 444 cv.html; cp cv.html $R; nobody", 1, 'b', "can't write cv.html", ""},
    {"cp $S/docs/cv.html .; chmod 444 cv.html; nobody", 0, 'u', "", "page"},
    {"rm cv.html; mkfifo cv.html; v pic.gif new.wbmp 0 0", 0, 'b', "", "[ -p cv.html ]; fresh new.wbmp"},
    {"rm cv.html; mkdir cv.html; v pic.gif new.wbmp 0 0", 1, 'b', "can't write cv.html", "rmdir cv.html; names dest.wbmp pic.gif"},
    {"mkdir g; cd g; rmdir ../g; v", 1, 'b', "can't write cv.html", "names cv.html dest.wbmp pic.gif"},
    // The packer of the embedded page refuses a zero byte and leaves nothing.
    {"printf '<p>a\\0b</p>\\n' >in.html; $P in.html out.cpp 2>/dev/null", 1, '-', "", "[ ! -e out.cpp ]; names cv.html dest.wbmp in.html pic.gif"},
    // Many conversions at once in one folder, twice, as the README runs them.
    {"rm cv.html; mkdir p; for n in giflib-x-trans sharp-grey-2x1 nsgif-fuzz-1x32 giflib-wedge-87a giflib-porsche-87a "
     "ptest-static-transparent; do for i in 0 1 2; do cp $D/gif/$n.gif p/$n-$i.gif; done; done; for round in 1 2; do "
     "find p -name '*.gif' -print0 | xargs -0 -n 1 -P 8 sh -c '\"$0\" \"$1\" \"${1%.gif}.wbmp\" 0 0 >/dev/null' \"$V\"; page; done",
     0, '-', "", "for f in p/*.gif; do n=${f#p/}; cmp ${f%.gif}.wbmp $D/expected/${n%-?.gif}__0__0.wbmp; done; [ ! -e p/cv.html ]"},
    // Files are born owner-only (strace), sticky folders, a 4,076-byte path, control bytes shown as ?.
    {"rm cv.html; umask 0; ASAN_OPTIONS=detect_leaks=0 strace -qqf -e trace=open,openat,openat2 -o $R/t \"$V\" pic.gif new.wbmp 0 0", 0, 'b', "",
     "! grep O_CREAT $R/t | grep -v 0600; [ $(stat -c %a new.wbmp cv.html | uniq) = 666 ]; fresh new.wbmp"},
    {"mkdir -m 1777 s; cp dest.wbmp s; chmod 666 s/dest.wbmp; nobody pic.gif s/dest.wbmp 0 0", 0, 'b', "", "fresh s/dest.wbmp; [ $(stat -c %u%a s/dest.wbmp) = 0666 ]"},
    {"p=$(printf %0250d/ $(seq 16)); mkdir -p $p; v pic.gif $p$(printf %060d 0) 0 0", 0, 'b', "", "fresh $(printf %0250d/ $(seq 16))$(printf %060d 0)"},
    {"v $'caf\\xc3\\xa9\\e]0;x\\a\\t\\n\\x7f.gif' n.wbmp 0 0", 1, 'b', "caf\xc3\xa9?]0;x????.gif", ""},
};
// clang-format on

TEST(Program, EveryRunOfTheTable) {
    const std::string picture =
        testsupport::readText(VARNOCK_TEST_DATA "/expected/giflib-treescap-87a__0__0.wbmp");
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.script);
        ScratchDir dir, ref;
        const std::string prelude = "R='" + ref.path().string() + "'\n" + kPrelude;
        const auto run = testsupport::runScript(dir, prelude + kFolder + row.script);
        EXPECT_EQ(run.exitStatus, row.status);
        const std::string tail = row.out == 'u' ? kUsage : row.out == 'p' ? picture : "";
        EXPECT_EQ(run.out, row.out == '-' ? "" : kBanner + tail);
        EXPECT_EQ(run.err,
                  *row.err ? "*** varnock ERROR \"" + std::string(row.err) + "\"\n\n" : "");
        const auto check =
            testsupport::runScript(dir, prelude + "set -x\n" + (*row.check ? row.check : "kept"));
        EXPECT_EQ(check.exitStatus, 0) << check.err;
    }
}

}  // namespace
