// The output file's undoing paths: an interrupt between the open and the close, and a caller
// that abandons its output, leave the old file whole and no new file behind.
#include "util/output_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::readFile;
using testsupport::ScratchDir;

std::ptrdiff_t fileCount(const ScratchDir& dir) {
    return std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator());
}

// In a child: opens, writes, receives `signal` (ignored first when `ignore`), closes.
TEST(OutputFile, AnInterruptDuringTheWriteRemovesTheNewFileBeforeItEndsTheRun) {
    const std::pair<int, bool> cases[] = {
        {SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGHUP, true}};
    for (const auto& [signal, ignore] : cases) {
        SCOPED_TRACE(testing::Message() << signal << (ignore ? " ignored" : ""));
        ScratchDir dir;
        const std::string path = dir.file("out.wbmp");
        testsupport::writeFile(path, {1, 2, 3});
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
        if (ignore) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            EXPECT_EQ(readFile(path), (Bytes{'n', 'e', 'w'}));
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
            EXPECT_EQ(readFile(path), (Bytes{1, 2, 3}));
        }
        EXPECT_EQ(fileCount(dir), 1);
    }
}

TEST(OutputFile, AnAbandonedOutputLeavesTheFolderAsItWas) {
    ScratchDir dir;
    const std::string existing = dir.file("old.wbmp");
    testsupport::writeFile(existing, {1, 2, 3});
    for (const std::string& path : {existing, dir.file("new.wbmp")}) {
        OutputFile output = openOutputFile(path.c_str());
        ASSERT_NE(output.stream, nullptr);
        std::fputs("new", output.stream);
        abandonOutputFile(&output, path.c_str());
        EXPECT_EQ(output.stream, nullptr);
    }
    EXPECT_EQ(readFile(existing), (Bytes{1, 2, 3}));
    EXPECT_EQ(fileCount(dir), 1);
}

}  // namespace
