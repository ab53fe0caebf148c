// The packed document: the writer on hand-made blocks, the block generated from docs/cv.html,
// and the packer's refusal of a zero byte.
#include "app/embedded_document.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using testsupport::Bytes;
using testsupport::ScratchDir;

// A packed block: fragment n is "[n]" unless `fragments` gives it (fragments[0] is fragment 1),
// then the codes and the end mark.
Bytes makeBlock(const std::vector<std::string>& fragments, const std::vector<int>& codes) {
    Bytes block;
    for (std::size_t n = 1; n <= 255; ++n) {
        // Fragments not given are "[n]"; built by appends, which GCC 12 -O3 does not misread.
        std::string text = "[";
        text += std::to_string(n);
        text += ']';
        if (n <= fragments.size()) text = fragments[n - 1];
        block.insert(block.end(), text.begin(), text.end());
        block.push_back(0);
    }
    block.insert(block.end(), codes.begin(), codes.end());
    block.push_back(0);
    return block;
}

// Everything the writer puts out for `block`.
std::string written(const unsigned char* block) {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);
    writeEmbeddedDocument(block, stream);
    std::fclose(stream);
    std::string text(data, size);
    std::free(data);
    return text;
}

// Expands a block held in a heap copy of its exact size, so that the sanitizers catch any read
// past its last byte.
std::string expand(const Bytes& bytes) {
    const auto block = std::make_unique<unsigned char[]>(bytes.size());
    std::memcpy(block.get(), bytes.data(), bytes.size());
    return written(block.get());
}

// Exit status of a shell command run with its output thrown away.
int runQuietly(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(WriteEmbeddedDocument, WritesTheNamedFragmentsInCodeOrder) {
    std::vector<std::string> highBytes = {"caf\xC3\xA9", "\x80\xFF\x01\x7F"};
    highBytes.resize(200);
    highBytes[199] = "\xFE\xFD";
    EXPECT_EQ(expand(makeBlock({}, {})), "");
    EXPECT_EQ(expand(makeBlock({"a", "", "longer fragment", "", "", "x"},
                               {1, 2, 3, 6, 7, 5, 255, 128, 7, 127})),
              "alonger fragmentx[7][255][128][7][127]");
    EXPECT_EQ(expand(makeBlock(highBytes, {1, 2, 200, 1})),
              "caf\xC3\xA9\x80\xFF\x01\x7F\xFE\xFD"
              "caf\xC3\xA9");
}

TEST(WriteEmbeddedDocument, GoesOnAfterFailedWrites) {
    // The first two writes fail; the stream is unbuffered, one write per fragment.
    struct Sink {
        int failures = 2;
        std::string written;
    } sink;
    cookie_io_functions_t functions{};
    functions.write = [](void* cookie, const char* data, std::size_t size) -> ssize_t {
        auto* s = static_cast<Sink*>(cookie);
        if (s->failures-- > 0) return 0;
        s->written.append(data, size);
        return static_cast<ssize_t>(size);
    };
    std::FILE* stream = fopencookie(&sink, "w", functions);
    ASSERT_EQ(std::setvbuf(stream, nullptr, _IONBF, 0), 0);
    writeEmbeddedDocument(makeBlock({}, {10, 20, 30, 40, 50}).data(), stream);
    EXPECT_NE(std::ferror(stream), 0);
    std::fclose(stream);
    EXPECT_EQ(sink.written, "[30][40][50]");
}

TEST(EmbeddedDocument, ExpandsToTheHtmlSource) {
    const Bytes source = testsupport::readFile(std::string(VARNOCK_SOURCE_DIR) + "/docs/cv.html");
    EXPECT_EQ(written(embeddedDocument), std::string(source.begin(), source.end()));
}

TEST(EmbeddedDocument, TidyFindsNoProblems) {
    if (runQuietly("tidy -v") != 0) GTEST_SKIP() << "tidy is not installed";
    // Exit status 0: neither errors (2) nor warnings (1).
    EXPECT_EQ(runQuietly("tidy -q -e -utf8 " + std::string(VARNOCK_SOURCE_DIR) + "/docs/cv.html"),
              0);
}

TEST(DocumentPacker, RefusesAZeroByte) {
    ScratchDir dir;
    testsupport::writeText(dir.file("in.html"), std::string("<p>a\0b</p>\n", 11));
    EXPECT_EQ(runQuietly(std::string(VARNOCK_PACKER) + " " + dir.file("in.html") + " " +
                         dir.file("out.cpp")),
              1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.cpp")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.cpp.tmp")));
}

}  // namespace
