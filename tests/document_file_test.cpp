// Putting the document in "cv.html": created when missing, our own older file replaced, every
// other file, link or FIFO left exactly as it was; the program's runs around it.
#include "app/document_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/embedded_document.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ScratchDir;
using testsupport::writeText;

std::string fileText(const std::string& path) {
    const testsupport::Bytes bytes = testsupport::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

const std::string kDocument = fileText(std::string(VARNOCK_SOURCE_DIR) + "/docs/cv.html");
const std::string kPrefix = documentPrefix;
// A page that an earlier version of the program could have written.
const std::string kOlder =
    kPrefix + "<title>varnock</title>\n</head>\n<body><p>old</p></body>\n</html>\n";

// The page the program carries, expanded.
std::string packedDocument() {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);
    writeEmbeddedDocument(embeddedDocument, stream);
    std::fclose(stream);
    std::string text(data, size);
    std::free(data);
    return text;
}

// Only a file that begins with the fixed prefix is ours: it is brought up to date (also when
// cut short after the prefix); any other keeps its bytes, mode and time and is never even
// opened for writing. A current page is not written either.
TEST(WriteDocumentFile, ReplacesOnlyItsOwnOutOfDateFile) {
    ASSERT_TRUE(packedDocument().starts_with(kPrefix));
    const std::string mark = "<meta name=\"generator\" content=\"varnock\">\n";
    const std::pair<std::string, bool> cases[] = {
        {kOlder, true},
        {kDocument.substr(0, kPrefix.size() + 40), true},
        {kPrefix, true},
        {kDocument, false},
        {"Jean Dupont\nCurriculum vitae\n", false},
        {"# Notes\nvarnock pages carry " + mark + kPrefix, false},
        {kPrefix.substr(0, kPrefix.size() - 1), false},
        {" " + kDocument, false},
        {"", false}};
    for (const auto& [before, replaced] : cases) {
        SCOPED_TRACE(before.substr(0, 40));
        ScratchDir dir;
        const std::string path = dir.file("cv.html");
        writeText(path, before);
        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(inotify_add_watch(watch, path.c_str(), IN_CLOSE_WRITE), 0);
        EXPECT_EQ(writeDocumentFile(path.c_str()), 0);
        char events[sizeof(inotify_event) + 256];
        EXPECT_EQ(read(watch, events, sizeof events) > 0, replaced);
        close(watch);
        EXPECT_EQ(fileText(path), replaced ? kDocument : before);
        struct stat after {};
        ASSERT_EQ(lstat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode & 07777, 0640u);
        EXPECT_EQ(after.st_mtim.tv_sec == 1000000000, !replaced);
    }
    ScratchDir dir;
    EXPECT_EQ(writeDocumentFile(dir.file("missing/cv.html").c_str()), 1);
    EXPECT_FALSE(fs::exists(dir.file("missing")));
}

// Every kind of run with every kind of "cv.html" already there: ours is brought up to date,
// anything else comes through unchanged and unmentioned, a folder of that name stops the run.
TEST(DocumentFileRuns, EveryKindOfRunWithEveryKindOfFile) {
    struct RunKind {
        std::vector<std::string> args;
        int exitStatus;
        bool makesWbmp;
    };
    const RunKind runKinds[] = {{{}, 0, false}, {{"in.gif", "out.wbmp", "0", "0"}, 0, true}};
    const std::string foreign = "<!DOCTYPE html>\n<title>Mon CV</title>\r\n<p>caf\xC3\xA9</p>\n";
    struct FileKind {
        char type;             // n: nothing, f: file, l: link to target.html, p: FIFO, d: folder
        std::string contents;  // of the file, or of the link's target (none when empty)
        std::string after;     // read from "cv.html" (through the link) afterwards, when not empty
    };
    // clang-format off
    const FileKind kinds[] = {{'n', "", kDocument}, {'f', kOlder, kDocument}, {'f', foreign, foreign},
                              {'l', foreign, foreign}, {'l', kOlder, kOlder}, {'p', "", ""},
                              {'d', "", ""}};
    // clang-format on
    for (const FileKind& kind : kinds) {
        for (const RunKind& run : runKinds) {
            SCOPED_TRACE(testing::Message() << kind.type << " " << kind.contents.substr(0, 20)
                                            << ", " << run.args.size() << " arguments");
            ScratchDir dir;
            const std::string cv = dir.file("cv.html");
            const std::string target = dir.file("target.html");
            const bool folder = kind.type == 'd';
            testsupport::writeGif(dir.file("in.gif"), {3, 2, {0, 0xFFFFFF}, {0, 1, 0, 1, 1, 0}});
            if (!kind.contents.empty()) writeText(kind.type == 'l' ? target : cv, kind.contents);
            ASSERT_TRUE(kind.type != 'l' || symlink("target.html", cv.c_str()) == 0);
            ASSERT_TRUE(kind.type != 'p' || mkfifo(cv.c_str(), 0644) == 0);
            if (folder) fs::create_directory(cv);

            const auto result = testsupport::runVarnock(run.args, dir.path().string());
            EXPECT_EQ(result.exitStatus, folder ? 1 : run.exitStatus);
            EXPECT_EQ(result.err == "*** varnock ERROR \"can't write cv.html\"\n\n", folder);
            EXPECT_EQ(result.err.find("cv.html") != std::string::npos, folder);
            EXPECT_TRUE(!folder || result.out.ends_with("merci de le lire...\n\n"));  // banner only
            EXPECT_EQ(fs::exists(dir.file("out.wbmp")), run.makesWbmp && !folder);
            EXPECT_EQ(fs::is_directory(cv) && fs::is_empty(cv), folder);
            EXPECT_EQ(fs::is_symlink(fs::symlink_status(cv)), kind.type == 'l');
            EXPECT_EQ(fs::is_fifo(fs::symlink_status(cv)), kind.type == 'p');
            EXPECT_EQ(fs::exists(fs::symlink_status(target)),
                      kind.type == 'l' && !kind.contents.empty());
            EXPECT_EQ(kind.after.empty() ? "" : fileText(cv), kind.after);
        }
    }
}

}  // namespace
