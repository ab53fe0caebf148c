// The output file under a signal between its open and its close: SIGINT, SIGTERM and SIGHUP are
// held back until the new file is removed and the old one left whole, then end the run; an
// ignored one changes nothing; SIGKILL leaves the old file and the unfinished one beside it.
// cv.html: a file that is not our page is never even opened for writing.
#include "util/output_file.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>

#include "app/document_file.h"
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
        std::set<std::string> names;  // their first 28 bytes
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.insert(entry.path().filename().string().substr(0, 28));
        EXPECT_EQ(names, (signal != SIGKILL
                              ? std::set<std::string>{"out.wbmp"}
                              : std::set<std::string>{"out.wbmp", "out.wbmp.varnock-unfinished-"}));
    }
}

TEST(DocumentFile, OnlyOurOwnPageIsOpenedForWriting) {
    const std::string prefix = documentPrefix;
    // what cv.html holds, whether it is ours
    const std::pair<std::string, bool> cases[] = {{prefix + "old", true},
                                                  {"notes quoting " + prefix, false},
                                                  {prefix.substr(0, prefix.size() - 1), false},
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

}  // namespace
