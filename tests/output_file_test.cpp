// The output file: owner-only while it is written, under a signal between its open and its close
// (a terminating one is held back until the new file is removed and the old one left whole, then
// ends the run; an ignored one changes nothing; SIGKILL leaves the old file and the unfinished one
// beside it; one the program catches is left to its handler), under the kernel's link protections,
// and keeping extended attributes.
#include "util/output_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "test_support.h"

namespace {

void onSignal(int) {}

TEST(OutputFile, ASignalDuringTheWriteLeavesTheOldFileWhole) {
    // the signal, and whether it is ignored (SIG_IGN) or caught (a handler) instead of SIG_DFL
    const std::pair<int, sighandler_t> cases[] = {
        {SIGINT, SIG_DFL},   {SIGHUP, SIG_DFL},  {SIGQUIT, SIG_DFL},  {SIGPIPE, SIG_DFL},
        {SIGXCPU, SIG_DFL},  {SIGABRT, SIG_DFL}, {SIGRTMAX, SIG_DFL}, {SIGPIPE, SIG_IGN},
        {SIGALRM, onSignal}, {SIGKILL, SIG_DFL}};
    for (const auto& [signal, handler] : cases) {
        const bool ignore = handler != SIG_DFL;
        SCOPED_TRACE(testing::Message() << signal << (ignore ? " ignored or caught" : ""));
        testsupport::ScratchDir dir;
        const std::string path = dir.file("out.wbmp");
        testsupport::writeText(path, "\1\2\3");
        const pid_t child = fork();
        if (child == 0) {
            if (signal != SIGKILL) std::signal(signal, handler);
            umask(0);
            OutputFile output = openOutputFile(path.c_str());
            if (output.stream == nullptr) _exit(100);
            std::fputs("new", output.stream);
            raise(SIGSTOP);
            kill(getpid(), signal);
            _exit(closeOutputFile(&output, path.c_str()));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
        // stopped while it writes: only its owner may open the file
        EXPECT_EQ(testsupport::runScript(dir, "stat -c %a *-unfinished-*").out, "600\n");
        kill(child, SIGCONT);
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(status & ~0x80, ignore ? 0 : signal);  // exited with 0, or killed (core or not)
        EXPECT_EQ(testsupport::readText(path), ignore ? "new" : "\1\2\3");
        // SIGKILL leaves the unfinished file beside the old one: the name, a mark, six letters.
        EXPECT_EQ(testsupport::runScript(dir, "ls | sed 's/-[a-z2-7]\\{6\\}$/-X/'").out,
                  signal == SIGKILL ? "out.wbmp\nout.wbmp.varnock-unfinished-X\n" : "out.wbmp\n");
    }
}

// Scripts run as root that skip (exit 77) where they cannot run. $G: a GIF, $E: its WBMP.
const char* const kPrelude =
    "set -e; G=$D/gif/giflib-treescap-87a.gif E=$D/expected/giflib-treescap-87a__0__0.wbmp\n"
    "as() { setpriv --reuid=65534 --regid=65534 --clear-groups \"$@\"; }; chmod 755 .\n";

void expectScript(const char* why, const std::string& script, const std::string& out) {
    testsupport::ScratchDir dir;
    const auto run = testsupport::runScript(dir, kPrelude + script);
    if (run.exitStatus == 77) GTEST_SKIP() << why;
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, out);
}

// User nobody plants, in a sticky folder, a link to root's file and a file of its own: root may
// write neither (the kernel refuses it to "echo >" as well), and both stay as they were.
TEST(OutputFile, TheKernelsLinkProtectionsHold) {
    expectScript(
        "needs root, to set fs.protected_symlinks and fs.protected_regular",
        R"([ $(id -u) = 0 ] || exit 77; f=/proc/sys/fs/protected_; s=$(cat ${f}symlinks) r=$(cat ${f}regular)
trap "echo $s >${f}symlinks; echo $r >${f}regular" EXIT; { echo 1 >${f}symlinks && echo 1 >${f}regular; } || exit 77
echo secret >secret; mkdir -m 1777 t; as ln -s $PWD/secret t/l.wbmp; as sh -c 'echo x >t/r.wbmp'
for n in l r; do $V $G t/$n.wbmp 0 0 >/dev/null 2>&1 || echo $?; done; cat secret t/r.wbmp; ls t)",
        "1\n1\nsecret\nx\nl.wbmp\nr.wbmp\n");
}

// A replaced file keeps its user attributes and its ACL (user nobody may read it), as cp does.
TEST(OutputFile, ExtendedAttributesAndTheAclStay) {
    expectScript("needs setfattr (package attr) and a file system with user xattrs and ACLs",
                 R"(command -v setfattr >/dev/null || exit 77; echo old >d.wbmp
setfattr -n user.note -v hi d.wbmp && setfattr -n system.posix_acl_access -v \
0x0200000001000600ffffffff02000400feff000004000400ffffffff10000400ffffffff20000400ffffffff d.wbmp || exit 77
getfattr -d -m - d.wbmp >a; $V $G d.wbmp 0 0 >/dev/null; cmp d.wbmp $E; getfattr -d -m - d.wbmp | cmp - a; stat -c %a d.wbmp)",
                 "644\n");
}

}  // namespace
