// An interrupt between the output file's open and its close: held back until the new file is
// removed and the old one left whole, then it ends the run; an ignored one changes nothing.
// cv.html: a file that is not our page is never even opened for writing.
#include "util/output_file.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "app/document_file.h"
#include "test_support.h"

namespace {

TEST(OutputFile, AnInterruptDuringTheWriteRemovesTheNewFileBeforeItEndsTheRun) {
    const std::pair<int, bool> cases[] = {
        {SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGHUP, true}};
    for (const auto& [signal, ignore] : cases) {
        SCOPED_TRACE(testing::Message() << signal << (ignore ? " ignored" : ""));
        testsupport::ScratchDir dir;
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
        EXPECT_EQ(status, ignore ? 0 : signal);  // exited with 0, or killed by the signal
        EXPECT_EQ(testsupport::readFile(path),
                  ignore ? (testsupport::Bytes{'n', 'e', 'w'}) : (testsupport::Bytes{1, 2, 3}));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
}

TEST(DocumentFile, OnlyOurOwnPageIsOpenedForWriting) {
    const std::string prefix = documentPrefix;
    const std::pair<std::string, bool> cases[] = {{prefix + "old", true},
                                                  {"notes quoting " + prefix, false},
                                                  {prefix.substr(0, prefix.size() - 1), false},
                                                  {" " + prefix, false},
                                                  {"", false}};
    for (const auto& [before, ours] : cases) {
        SCOPED_TRACE(before.substr(0, 20));
        testsupport::ScratchDir dir;
        const std::string path = dir.file("cv.html");
        testsupport::writeText(path, before);
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(inotify_add_watch(watch, path.c_str(), IN_CLOSE_WRITE), 0);
        EXPECT_EQ(writeDocumentFile(path.c_str()), 0);
        char events[sizeof(inotify_event) + 256];
        EXPECT_EQ(read(watch, events, sizeof events) > 0, ours);  // closed after a write open
        close(watch);
    }
}

TEST(OutputFile, AKilledWriteLeavesTheOldFileAndANamedUnfinishedOne) {
    testsupport::ScratchDir dir;
    const std::string path = dir.file("out.wbmp");
    testsupport::writeFile(path, {1, 2, 3});
    const pid_t child = fork();
    if (child == 0) {
        OutputFile output = openOutputFile(path.c_str());
        std::fputs("new", output.stream);
        std::fflush(output.stream);
        kill(getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(testsupport::readFile(path), (testsupport::Bytes{1, 2, 3}));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string().substr(0, 28));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"out.wbmp", "out.wbmp.varnock-unfinished-"}));
}

}  // namespace
