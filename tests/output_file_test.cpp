// The output file under a signal between its open and its close: SIGINT, SIGTERM and SIGHUP are
// held back until the new file is removed and the old one left whole, then end the run; an
// ignored one changes nothing; SIGKILL leaves the old file and the unfinished one beside it.
#include "util/output_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "test_support.h"

namespace {

TEST(OutputFile, ASignalDuringTheWriteLeavesTheOldFileWhole) {
    // the signal, whether it is ignored
    const std::pair<int, bool> cases[] = {
        {SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGHUP, true}, {SIGKILL, false}};
    for (const auto& [signal, ignore] : cases) {
        SCOPED_TRACE(testing::Message() << signal << (ignore ? " ignored" : ""));
        testsupport::ScratchDir dir;
        const std::string path = dir.file("out.wbmp");
        testsupport::writeText(path, "\1\2\3");
        const pid_t child = fork();
        if (child == 0) {
            if (ignore) std::signal(signal, SIG_IGN);
            OutputFile output = openOutputFile(path.c_str());
            if (output.stream == nullptr) _exit(100);
            std::fputs("new", output.stream);
            kill(getpid(), signal);
            _exit(closeOutputFile(&output, path.c_str()));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_EQ(status, ignore ? 0 : signal);  // exited with 0, or killed by the signal
        EXPECT_EQ(testsupport::readText(path), ignore ? "new" : "\1\2\3");
        // SIGKILL leaves the unfinished file beside the old one: the name, a mark, six letters.
        EXPECT_EQ(testsupport::runScript(dir, "ls | sed 's/-[a-z2-7]\\{6\\}$/-X/'").out,
                  signal == SIGKILL ? "out.wbmp\nout.wbmp.varnock-unfinished-X\n" : "out.wbmp\n");
    }
}

}  // namespace
