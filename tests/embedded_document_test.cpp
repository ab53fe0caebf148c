// The packed document: the block generated from docs/cv.html expands to the page, and the packer
// refuses a page holding a zero byte.
#include "app/embedded_document.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

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
