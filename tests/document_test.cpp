// cv.html: a file that is not our page is never even opened for writing; the block generated
// from docs/cv.html expands to the page, and the packer refuses a page holding a zero byte.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/document_file.h"
#include "app/embedded_document.h"
#include "test_support.h"

namespace {

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

TEST(EmbeddedDocument, ExpandsToTheHtmlSource) {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);
    writeEmbeddedDocument(embeddedDocument, stream);
    std::fclose(stream);
    EXPECT_EQ(std::string(data, size), testsupport::readText(VARNOCK_SOURCE_DIR "/docs/cv.html"));
    std::free(data);
}

TEST(DocumentPacker, RefusesAZeroByte) {
    testsupport::ScratchDir dir;
    testsupport::writeText(dir.file("in.html"), std::string("<p>a\0b</p>\n", 11));
    const auto run = testsupport::runScript(dir.path().string(),
                                            "'" VARNOCK_PACKER "' in.html out.cpp 2>/dev/null");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.cpp")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.cpp.tmp")));
}

}  // namespace
