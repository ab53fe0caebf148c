// Putting the document in "cv.html": created when missing, our own older file replaced, every
// other file, link or FIFO left exactly as it was; the program's runs around it.
#include "app/document_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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
const std::string kMark = documentMark;
// A page that an earlier version of the program could have written.
const std::string kOlder = "<!DOCTYPE html>\n<html lang=\"fr\">\n<head>\n" + kMark +
                           "\n<title>varnock</title>\n</head>\n<body><p>old</p></body>\n</html>\n";

TEST(WriteDocumentFile, ReplacesOnlyItsOwnFiles) {
    const std::string longBody(200000, 'x');
    const std::string window(documentMarkWindow - kMark.size(), ' ');
    struct Case {
        std::optional<std::string> before;  // none: no file there
        bool ours;                          // replaced in place by the document
    };
    const Case cases[] = {
        {std::nullopt, true},
        {kOlder, true},
        {kOlder + longBody, true},
        {kMark, true},
        {kDocument + "<!-- appended -->\n", true},
        {kDocument.substr(0, kDocument.size() - 1), true},
        {window + kMark + longBody, true},  // the mark ends on the last byte looked at
        {kDocument, true},                  // current: not even written
        {"", false},
        {"Jean Dupont\nCurriculum vitae\n", false},
        {"<meta name=\"generator\" content=\"varnockX\">", false},
        {"<meta name=\"generator\" content=\"varnock\"", false},
        {" " + window + kMark, false},  // the mark ends one byte past the part looked at
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        const std::string path = dir.file("cv.html");
        struct stat before {};
        if (c.before) {
            writeText(path, *c.before);
            ASSERT_EQ(chmod(path.c_str(), 0640), 0);
            const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
            ASSERT_EQ(lstat(path.c_str(), &before), 0);
        }
        const std::string what = c.before ? c.before->substr(0, 50) : "no file";
        EXPECT_EQ(writeDocumentFile(path.c_str()), 0) << what;
        EXPECT_EQ(fileText(path), c.ours ? kDocument : *c.before) << what;
        struct stat after {};
        ASSERT_EQ(lstat(path.c_str(), &after), 0);
        EXPECT_TRUE(S_ISREG(after.st_mode)) << what;
        if (c.before) {
            EXPECT_EQ(after.st_ino, before.st_ino) << what;
            EXPECT_EQ(after.st_mode & 07777, 0640u) << what;
            if (!c.ours || *c.before == kDocument) {
                EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec) << what;
            }
        }
    }
}

TEST(WriteDocumentFile, FailsWhereTheFileCannotBeCreatedOrRead) {
    ScratchDir dir;
    fs::create_directory(dir.file("cv.html"));
    EXPECT_EQ(writeDocumentFile(dir.file("cv.html").c_str()), 1);
    EXPECT_TRUE(fs::is_empty(dir.file("cv.html")));
    EXPECT_EQ(writeDocumentFile(dir.file("missing/cv.html").c_str()), 1);
    EXPECT_FALSE(fs::exists(dir.file("missing")));
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    fs::create_directory(dir.file("locked"));
    ASSERT_EQ(chmod(dir.file("locked").c_str(), 0555), 0);
    EXPECT_EQ(writeDocumentFile(dir.file("locked/cv.html").c_str()), 1);
    // Read-only files: our own out-of-date file cannot be brought up to date; an unreadable
    // one cannot be looked at.
    struct Case {
        std::string text;
        mode_t mode;
        std::int32_t result;
    };
    for (const Case& c : {Case{"Mon CV\n", 0444, 0}, Case{kDocument, 0444, 0},
                          Case{kOlder, 0444, 1}, Case{"Mon CV\n", 0200, 1}}) {
        const std::string path = dir.file("read-only.html");
        writeText(path, c.text);
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        EXPECT_EQ(writeDocumentFile(path.c_str()), c.result)
            << c.mode << " " << c.text.substr(0, 9);
        ASSERT_EQ(chmod(path.c_str(), 0600), 0);
        EXPECT_EQ(fileText(path), c.text);
    }
}

// Every kind of run with every kind of "cv.html" already there: ours is brought up to date,
// anything else comes through unchanged and unmentioned, a folder of that name stops the run.
TEST(DocumentFileRuns, EveryKindOfRunWithEveryKindOfFile) {
    struct RunKind {
        std::vector<std::string> args;
        int exitStatus;
        bool makesWbmp;
    };
    const RunKind runKinds[] = {{{}, 0, false},
                                {{"in.gif", "out.wbmp", "0"}, 0, false},
                                {{"in.gif", "out.wbmp", "0", "0"}, 0, true},
                                {{"missing.gif", "out.wbmp", "0", "0"}, 1, false}};
    enum Kind {
        kNone,
        kOurs,
        kCurrent,
        kForeign,
        kLinkToForeign,
        kLinkToOurs,
        kDangling,
        kFifo,
        kFolder
    };
    const std::string foreign = "<!DOCTYPE html>\n<title>Mon CV</title>\r\n<p>caf\xC3\xA9</p>\n";
    for (const Kind kind : {kNone, kOurs, kCurrent, kForeign, kLinkToForeign, kLinkToOurs,
                            kDangling, kFifo, kFolder}) {
        for (const RunKind& run : runKinds) {
            SCOPED_TRACE(testing::Message()
                         << "kind " << kind << ", " << run.args.size() << " arguments");
            ScratchDir dir;
            const std::string cv = dir.file("cv.html");
            const std::string target = dir.file("target.html");
            testsupport::writeGif(dir.file("in.gif"),
                                  {3, 2, {0x000000, 0xFFFFFF}, {0, 1, 0, 1, 1, 0}});
            if (kind == kOurs || kind == kCurrent || kind == kForeign) {
                writeText(cv, kind == kOurs ? kOlder : kind == kCurrent ? kDocument : foreign);
            }
            if (kind == kLinkToForeign || kind == kLinkToOurs) {
                writeText(target, kind == kLinkToOurs ? kOlder : foreign);
            }
            if (kind == kLinkToForeign || kind == kLinkToOurs || kind == kDangling) {
                ASSERT_EQ(symlink("target.html", cv.c_str()), 0);
            }
            if (kind == kFifo) {
                ASSERT_EQ(mkfifo(cv.c_str(), 0644), 0);
            }
            if (kind == kFolder) fs::create_directory(cv);

            const auto result = testsupport::runVarnock(run.args, dir.path().string());
            if (kind == kFolder) {
                EXPECT_EQ(result.exitStatus, 1);
                EXPECT_EQ(result.err, "*** varnock ERROR \"can't write cv.html\"\n\n");
                EXPECT_TRUE(result.out.ends_with("merci de le lire...\n\n"));  // the banner alone
                EXPECT_TRUE(fs::is_empty(cv));
                EXPECT_FALSE(fs::exists(dir.file("out.wbmp")));
                continue;
            }
            EXPECT_EQ(result.exitStatus, run.exitStatus);
            EXPECT_EQ(result.err.find("cv.html"), std::string::npos);
            EXPECT_EQ(fs::exists(dir.file("out.wbmp")), run.makesWbmp);
            const bool linked = kind == kLinkToForeign || kind == kLinkToOurs;
            EXPECT_EQ(fs::is_symlink(fs::symlink_status(cv)), linked || kind == kDangling);
            EXPECT_EQ(fs::is_fifo(fs::symlink_status(cv)), kind == kFifo);
            EXPECT_EQ(fs::exists(target), linked);
            if (kind != kFifo && kind != kDangling) {  // read through the link for a link
                EXPECT_EQ(fileText(cv), kind == kForeign || kind == kLinkToForeign ? foreign
                                        : kind == kLinkToOurs                      ? kOlder
                                                                                   : kDocument);
            }
        }
    }
}

}  // namespace
