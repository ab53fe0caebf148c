// Putting the document in "cv.html": created when missing, our own older file replaced, every
// other file, link, FIFO or device left exactly as it was; the program's runs around it.
#include "app/document_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeText;

const std::string canWriteMessage = "*** varnock ERROR \"can't write cv.html\"\n\n";

std::string documentText() {
    const Bytes bytes = readFile(std::string(VARNOCK_SOURCE_DIR) + "/docs/cv.html");
    return std::string(bytes.begin(), bytes.end());
}

std::string fileText(const std::string& path) {
    const Bytes bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// A page that an earlier version of the program could have written.
std::string olderDocument(const std::string& body) {
    return std::string("<!DOCTYPE html>\n<html lang=\"fr\">\n<head>\n<meta charset=\"utf-8\">\n") +
           documentMark + "\n<title>varnock</title>\n</head>\n<body>\n" + body +
           "</body>\n</html>\n";
}

struct stat statOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
    return info;
}

// Sets the file's modification time far in the past, so any write shows.
void ageFile(const std::string& path) {
    const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

bool runningAsRoot() {
    return geteuid() == 0;
}

// --- writeDocumentFile on its own -----------------------------------------------------------

TEST(WriteDocumentFile, CreatesAMissingFileWithTheDocument) {
    ScratchDir dir;
    const std::string path = dir.file("cv.html");
    EXPECT_EQ(writeDocumentFile(path.c_str()), 0);
    EXPECT_EQ(fileText(path), documentText());
    EXPECT_TRUE(S_ISREG(statOf(path).st_mode));
}

TEST(WriteDocumentFile, ReplacesAFileThatCarriesTheMark) {
    std::string longBody;
    while (longBody.size() < 200000)
        longBody += "<p>ancienne version, bien plus longue</p>\n";
    const std::string mark = documentMark;
    const std::string cases[] = {
        olderDocument("<p>court</p>\n"),
        olderDocument(longBody),
        mark,
        documentText() + "<!-- appended -->\n",
        documentText().substr(0, documentText().size() - 1),  // one byte short
        // The mark ending exactly on the last byte that is looked at.
        std::string(documentMarkWindow - mark.size(), ' ') + mark + longBody,
    };
    for (const std::string& old : cases) {
        ScratchDir dir;
        const std::string path = dir.file("cv.html");
        writeText(path, old);
        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        const struct stat before = statOf(path);
        EXPECT_EQ(writeDocumentFile(path.c_str()), 0);
        EXPECT_EQ(fileText(path), documentText()) << "old file of " << old.size() << " bytes";
        // Replaced in place: the same file, with its mode.
        const struct stat after = statOf(path);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode & 07777, 0640u);
    }
}

TEST(WriteDocumentFile, LeavesACurrentFileUnwritten) {
    ScratchDir dir;
    const std::string path = dir.file("cv.html");
    writeText(path, documentText());
    ageFile(path);
    const struct stat before = statOf(path);
    EXPECT_EQ(writeDocumentFile(path.c_str()), 0);
    const struct stat after = statOf(path);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(fileText(path), documentText());
}

TEST(WriteDocumentFile, LeavesOtherFilesUntouched) {
    const std::string mark = documentMark;
    std::string bigCv(300000, 'x');
    bigCv += mark;  // far beyond the part that is looked at
    std::string withCarriageReturns = olderDocument("");
    withCarriageReturns.replace(withCarriageReturns.find(mark), mark.size(), "<meta>");
    const std::string cases[] = {
        "",
        "Jean Dupont\nCurriculum vitae\n",
        "<!DOCTYPE html>\n<html><head><meta name=\"generator\" content=\"vim\"></head></html>\n",
        "<meta name=\"generator\" content=\"varnockX\">",
        "<META NAME=\"generator\" CONTENT=\"varnock\">",
        "<meta name=\"generator\" content=\"varnock\"",  // cut before its end
        withCarriageReturns,
        // The mark ending one byte past the part that is looked at.
        std::string(documentMarkWindow - mark.size() + 1, ' ') + mark,
        bigCv,
        std::string("binary\0\xFF\x01 data", 15),
    };
    for (const std::string& text : cases) {
        ScratchDir dir;
        const std::string path = dir.file("cv.html");
        writeText(path, text);
        ageFile(path);
        const struct stat before = statOf(path);
        EXPECT_EQ(writeDocumentFile(path.c_str()), 0) << text.substr(0, 60);
        EXPECT_EQ(fileText(path), text) << text.substr(0, 60);
        EXPECT_EQ(statOf(path).st_mtim.tv_sec, before.st_mtim.tv_sec);
    }
}

TEST(WriteDocumentFile, LeavesSymbolicLinksAndTheirTargetsUntouched) {
    struct Case {
        const char* name;
        std::string targetText;  // empty: no target file at all
        bool targetIsFolder;
    };
    const Case cases[] = {
        {"to someone's file", "Mon CV\n", false},
        {"to a file this program wrote", olderDocument("<p>old</p>\n"), false},
        {"to the current document", documentText(), false},
        {"dangling", "", false},
        {"to a folder", "", true},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        const std::string path = dir.file("cv.html");
        const std::string target = dir.file("target");
        if (c.targetIsFolder) {
            fs::create_directory(target);
        } else if (!c.targetText.empty()) {
            writeText(target, c.targetText);
        }
        ASSERT_EQ(symlink("target", path.c_str()), 0);
        EXPECT_EQ(writeDocumentFile(path.c_str()), 0) << c.name;
        EXPECT_TRUE(fs::is_symlink(path)) << c.name;
        EXPECT_EQ(fs::read_symlink(path), "target") << c.name;
        if (c.targetIsFolder) {
            EXPECT_TRUE(fs::is_empty(target)) << c.name;
        } else if (c.targetText.empty()) {
            EXPECT_FALSE(fs::exists(fs::symlink_status(target))) << c.name;
        } else {
            EXPECT_EQ(fileText(target), c.targetText) << c.name;
        }
    }
}

TEST(WriteDocumentFile, LeavesAFifoAloneWithoutWaiting) {
    // Opening a FIFO without a writer would block: the call must come back by itself.
    ScratchDir dir;
    const std::string path = dir.file("cv.html");
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    EXPECT_EQ(writeDocumentFile(path.c_str()), 0);
    EXPECT_TRUE(S_ISFIFO(statOf(path).st_mode));
}

TEST(WriteDocumentFile, LeavesADeviceAlone) {
    ScratchDir dir;
    const std::string path = dir.file("cv.html");
    if (mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
    }
    EXPECT_EQ(writeDocumentFile(path.c_str()), 0);
    const struct stat after = statOf(path);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_rdev, makedev(1, 3));
}

TEST(WriteDocumentFile, FailsOnAFolderOfThatName) {
    ScratchDir dir;
    const std::string path = dir.file("cv.html");
    fs::create_directory(path);
    writeText(path + "/inside", "kept");
    EXPECT_EQ(writeDocumentFile(path.c_str()), 1);
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(fileText(path + "/inside"), "kept");
}

TEST(WriteDocumentFile, FailsInAFolderThatDoesNotExist) {
    ScratchDir dir;
    const std::string path = dir.file("missing/cv.html");
    EXPECT_EQ(writeDocumentFile(path.c_str()), 1);
    EXPECT_FALSE(fs::exists(dir.file("missing")));
}

TEST(WriteDocumentFile, FailsInAFolderWithoutWritePermission) {
    if (runningAsRoot()) GTEST_SKIP() << "permissions do not bind root";
    ScratchDir dir;
    const std::string folder = dir.file("locked");
    fs::create_directory(folder);
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    EXPECT_EQ(writeDocumentFile((folder + "/cv.html").c_str()), 1);
    EXPECT_FALSE(fs::exists(folder + "/cv.html"));
}

TEST(WriteDocumentFile, FailsOnAFileThatCannotBeRead) {
    if (runningAsRoot()) GTEST_SKIP() << "permissions do not bind root";
    ScratchDir dir;
    const std::string path = dir.file("cv.html");
    writeText(path, "Mon CV\n");
    ASSERT_EQ(chmod(path.c_str(), 0200), 0);
    EXPECT_EQ(writeDocumentFile(path.c_str()), 1);
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(fileText(path), "Mon CV\n");
}

TEST(WriteDocumentFile, ReadOnlyFiles) {
    if (runningAsRoot()) GTEST_SKIP() << "permissions do not bind root";
    struct Case {
        std::string text;
        std::int32_t result;  // 1: our own out-of-date file that cannot be brought up to date
    };
    const Case cases[] = {
        {"Mon CV\n", 0},
        {documentText(), 0},
        {olderDocument("<p>old</p>\n"), 1},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        const std::string path = dir.file("cv.html");
        writeText(path, c.text);
        ASSERT_EQ(chmod(path.c_str(), 0444), 0);
        EXPECT_EQ(writeDocumentFile(path.c_str()), c.result) << c.text.substr(0, 40);
        EXPECT_EQ(fileText(path), c.text);
    }
}

// --- Through the program ----------------------------------------------------------------------

void writeSmallGif(const std::string& path) {
    testsupport::GifSpec spec;
    spec.width = 3;
    spec.height = 2;
    spec.palette = {0x000000, 0xFFFFFF};
    spec.indices = {0, 1, 0, 1, 1, 0};
    testsupport::writeGif(path, spec);
}

struct RunKind {
    const char* name;
    std::vector<std::string> args;
    int exitStatus;
    bool makesWbmp;
};

const RunKind runKinds[] = {
    {"usage", {}, 0, false},
    {"usage with three arguments", {"a.gif", "out.wbmp", "0"}, 0, false},
    {"conversion", {"in.gif", "out.wbmp", "0", "0"}, 0, true},
    {"failed conversion", {"missing.gif", "out.wbmp", "0", "0"}, 1, false},
};

TEST(DocumentFileRuns, EveryKindOfRunWritesTheDocumentWhenMissingOrOurs) {
    for (const RunKind& kind : runKinds) {
        for (const bool olderPresent : {false, true}) {
            ScratchDir dir;
            writeSmallGif(dir.file("in.gif"));
            if (olderPresent) writeText(dir.file("cv.html"), olderDocument("<p>old</p>\n"));
            const auto run = testsupport::runVarnock(kind.args, dir.path().string());
            EXPECT_EQ(fileText(dir.file("cv.html")), documentText()) << kind.name;
            EXPECT_EQ(run.exitStatus, kind.exitStatus) << kind.name;
            EXPECT_EQ(fs::exists(dir.file("out.wbmp")), kind.makesWbmp) << kind.name;
        }
    }
}

TEST(DocumentFileRuns, SomeoneElsesFileComesThroughEveryRunUnchanged) {
    const std::string cv = "<!DOCTYPE html>\n<title>Mon CV</title>\r\n<p>caf\xC3\xA9</p>\n";
    for (const RunKind& kind : runKinds) {
        ScratchDir dir;
        writeSmallGif(dir.file("in.gif"));
        writeText(dir.file("cv.html"), cv);
        const auto run = testsupport::runVarnock(kind.args, dir.path().string());
        EXPECT_EQ(fileText(dir.file("cv.html")), cv) << kind.name;
        EXPECT_EQ(run.exitStatus, kind.exitStatus) << kind.name;
        EXPECT_EQ(run.err.find("cv.html"), std::string::npos) << kind.name;
        EXPECT_EQ(fs::exists(dir.file("out.wbmp")), kind.makesWbmp) << kind.name;
    }
}

TEST(DocumentFileRuns, SymbolicLinksComeThroughEveryRunUnchanged) {
    for (const RunKind& kind : runKinds) {
        for (const bool targetIsOurs : {false, true}) {
            ScratchDir dir;
            writeSmallGif(dir.file("in.gif"));
            const std::string target =
                targetIsOurs ? olderDocument("<p>old</p>\n") : std::string("Mon CV\n");
            writeText(dir.file("target.html"), target);
            ASSERT_EQ(symlink("target.html", dir.file("cv.html").c_str()), 0);
            const auto run = testsupport::runVarnock(kind.args, dir.path().string());
            EXPECT_EQ(fs::read_symlink(dir.file("cv.html")), "target.html") << kind.name;
            EXPECT_EQ(fileText(dir.file("target.html")), target) << kind.name;
            EXPECT_EQ(run.exitStatus, kind.exitStatus) << kind.name;
            EXPECT_EQ(fs::exists(dir.file("out.wbmp")), kind.makesWbmp) << kind.name;
        }
    }
}

TEST(DocumentFileRuns, DanglingLinkCreatesNothing) {
    ScratchDir dir;
    ASSERT_EQ(symlink("elsewhere.html", dir.file("cv.html").c_str()), 0);
    const auto run = testsupport::runVarnock({}, dir.path().string());
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_FALSE(fs::exists(dir.file("elsewhere.html")));
    EXPECT_EQ(fs::read_symlink(dir.file("cv.html")), "elsewhere.html");
}

TEST(DocumentFileRuns, FolderNamedCvHtmlStopsTheRun) {
    for (const RunKind& kind : runKinds) {
        ScratchDir dir;
        writeSmallGif(dir.file("in.gif"));
        fs::create_directory(dir.file("cv.html"));
        const auto run = testsupport::runVarnock(kind.args, dir.path().string());
        EXPECT_EQ(run.exitStatus, 1) << kind.name;
        EXPECT_EQ(run.err, canWriteMessage) << kind.name;
        EXPECT_EQ(run.out.find("utilisation"), std::string::npos) << kind.name;
        const std::string bannerEnd = "merci de le lire...\n\n";  // banner only
        ASSERT_GE(run.out.size(), bannerEnd.size()) << kind.name;
        EXPECT_EQ(run.out.substr(run.out.size() - bannerEnd.size()), bannerEnd) << kind.name;
        EXPECT_FALSE(fs::exists(dir.file("out.wbmp"))) << kind.name;
        EXPECT_TRUE(fs::is_empty(dir.file("cv.html"))) << kind.name;
    }
}

}  // namespace
