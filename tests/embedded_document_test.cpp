// The packed document: the writer on hand-made blocks, the block generated from docs/cv.html,
// the packer on awkward texts, and the page itself.
#include "app/embedded_document.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/document_file.h"
#include "test_support.h"

extern char** environ;

namespace {

using testsupport::Bytes;
using testsupport::ScratchDir;

// A packed block: fragment n is "[n]" unless `fragments` gives it (fragments[0] is fragment 1),
// then the codes, the end mark, and `after` (bytes the writer must never reach).
Bytes makeBlock(const std::vector<std::string>& fragments, const std::vector<int>& codes,
                const Bytes& after = {}) {
    Bytes block;
    for (int n = 1; n <= 255; ++n) {
        const std::string text = static_cast<std::size_t>(n) <= fragments.size()
                                     ? fragments[static_cast<std::size_t>(n - 1)]
                                     : "[" + std::to_string(n) + "]";
        block.insert(block.end(), text.begin(), text.end());
        block.push_back(0);
    }
    for (const int code : codes)
        block.push_back(static_cast<std::uint8_t>(code));
    block.push_back(0);
    block.insert(block.end(), after.begin(), after.end());
    return block;
}

std::string expand(const unsigned char* block) {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&data, &size);
    EXPECT_NE(stream, nullptr);
    if (stream == nullptr) return {};
    writeEmbeddedDocument(block, stream);
    std::fclose(stream);
    std::string text(data, size);
    std::free(data);
    return text;
}

std::string expand(const Bytes& block) {
    return expand(block.data());
}

std::string sourceText() {
    const Bytes bytes = testsupport::readFile(std::string(VARNOCK_SOURCE_DIR) + "/docs/cv.html");
    return std::string(bytes.begin(), bytes.end());
}

// The fragments of a packed block and the offset of its code sequence.
struct Layout {
    std::vector<std::string> fragments;
    std::size_t codesAt = 0;
};

Layout layoutOf(const unsigned char* block) {
    Layout layout;
    std::size_t at = 0;
    for (int n = 1; n <= 255; ++n) {
        const std::size_t start = at;
        while (block[at] != 0)
            ++at;
        layout.fragments.emplace_back(reinterpret_cast<const char*>(block) + start, at - start);
        ++at;
    }
    layout.codesAt = at;
    return layout;
}

// Runs a program found on PATH (or by path) with its output thrown away; its exit status, or
// -1 when it could not be started or did not exit normally.
int runQuietly(const std::vector<std::string>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (auto& arg : copies)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// A stream whose first `failures` writes fail and which records every later one.
struct FailingSink {
    int failures = 0;
    std::string written;
};

ssize_t sinkWrite(void* cookie, const char* data, std::size_t size) {
    auto* sink = static_cast<FailingSink*>(cookie);
    if (sink->failures > 0) {
        --sink->failures;
        return 0;  // nothing taken: an error for the stream
    }
    sink->written.append(data, size);
    return static_cast<ssize_t>(size);
}

// --- The writer on hand-made blocks -------------------------------------------------------

TEST(WriteEmbeddedDocument, EmptyCodeSequenceWritesNothing) {
    EXPECT_EQ(expand(makeBlock({}, {})), "");

    ScratchDir dir;
    std::FILE* file = std::fopen(dir.file("out").c_str(), "w");
    ASSERT_NE(file, nullptr);
    writeEmbeddedDocument(makeBlock({}, {}).data(), file);
    std::fclose(file);
    EXPECT_TRUE(testsupport::readFile(dir.file("out")).empty());
}

TEST(WriteEmbeddedDocument, WritesTheNamedFragmentsInCodeOrder) {
    struct Case {
        std::vector<int> codes;
        std::string expected;
    };
    const Case cases[] = {
        {{1}, "[1]"},
        {{255}, "[255]"},
        {{1, 255}, "[1][255]"},
        {{255, 1, 255}, "[255][1][255]"},
        {{7, 7, 7, 7}, "[7][7][7][7]"},
        {{2, 128, 127, 129, 254}, "[2][128][127][129][254]"},
        {{3, 2, 1}, "[3][2][1]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(expand(makeBlock({}, c.codes)), c.expected) << c.expected;
    }
}

TEST(WriteEmbeddedDocument, FragmentsOfDifferentLengthsAreFoundByNumber) {
    const std::vector<std::string> fragments = {"a", "", "longer fragment", "", "", "x"};
    EXPECT_EQ(expand(makeBlock(fragments, {1, 3, 6, 7, 255})), "alonger fragmentx[7][255]");
}

TEST(WriteEmbeddedDocument, EmptyFragmentWritesNothing) {
    std::vector<std::string> fragments(255);  // all empty
    fragments[99] = "hundred";
    EXPECT_EQ(expand(makeBlock(fragments, {1, 100, 2, 255, 100, 50})), "hundredhundred");
    EXPECT_EQ(expand(makeBlock(fragments, {1, 2, 3, 255})), "");
}

TEST(WriteEmbeddedDocument, BytesAbove127AreWrittenUnchanged) {
    std::vector<std::string> fragments = {"caf\xC3\xA9", "\x80\xFF\x01\x7F"};
    fragments.resize(200);
    fragments[199] = "\xFE\xFD";
    const std::string text = expand(makeBlock(fragments, {1, 2, 200, 1}));
    EXPECT_EQ(text,
              "caf\xC3\xA9\x80\xFF\x01\x7F\xFE\xFD"
              "caf\xC3\xA9");
}

TEST(WriteEmbeddedDocument, NoZeroByteReachesTheOutput) {
    const std::string text = expand(makeBlock({}, {1, 2, 3, 4, 5}));
    EXPECT_EQ(text, "[1][2][3][4][5]");
    EXPECT_EQ(text.find('\0'), std::string::npos);
}

TEST(WriteEmbeddedDocument, StopsAtTheEndMark) {
    // Codes after the end mark would write visible fragments if they were read.
    EXPECT_EQ(expand(makeBlock({}, {4, 5}, {1, 2, 3, 0})), "[4][5]");
}

TEST(WriteEmbeddedDocument, ReadsNothingAfterTheEndMark) {
    // The block ends on the last byte of a page and the next page cannot be read.
    const Bytes block = makeBlock({}, {9, 1, 255});
    const auto pageSize = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t pages = (block.size() + pageSize - 1) / pageSize + 1;
    void* area =
        mmap(nullptr, pages * pageSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(area, MAP_FAILED);
    auto* base = static_cast<unsigned char*>(area);
    unsigned char* guard = base + (pages - 1) * pageSize;
    ASSERT_EQ(mprotect(guard, pageSize, PROT_NONE), 0);
    unsigned char* start = guard - block.size();
    std::memcpy(start, block.data(), block.size());
    EXPECT_EQ(expand(start), "[9][1][255]");
    munmap(area, pages * pageSize);
}

TEST(WriteEmbeddedDocument, GoesOnAfterFailedWrites) {
    FailingSink sink;
    sink.failures = 2;
    cookie_io_functions_t functions{};
    functions.write = sinkWrite;
    std::FILE* stream = fopencookie(&sink, "w", functions);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(std::setvbuf(stream, nullptr, _IONBF, 0), 0);  // one write per fragment
    writeEmbeddedDocument(makeBlock({}, {10, 20, 30, 40, 50}).data(), stream);
    EXPECT_NE(std::ferror(stream), 0);
    std::fclose(stream);
    EXPECT_EQ(sink.written, "[30][40][50]");
}

TEST(WriteEmbeddedDocument, ReturnsOnStreamsThatRefuseEveryWrite) {
    const Bytes block = makeBlock({}, {1, 2, 3, 255, 255});
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    writeEmbeddedDocument(block.data(), full);
    EXPECT_NE(std::ferror(full), 0);
    std::fclose(full);

    std::FILE* readOnly = std::fopen("/dev/null", "r");
    ASSERT_NE(readOnly, nullptr);
    writeEmbeddedDocument(block.data(), readOnly);
    EXPECT_NE(std::ferror(readOnly), 0);
    std::fclose(readOnly);
}

// --- The program's own document -----------------------------------------------------------

TEST(EmbeddedDocument, ExpandsToTheHtmlSourceByteForByte) {
    const std::string source = sourceText();
    ASSERT_FALSE(source.empty());
    EXPECT_EQ(expand(embeddedDocument), source);
}

TEST(EmbeddedDocument, HasTheCarriedForm) {
    const Layout layout = layoutOf(embeddedDocument);
    ASSERT_EQ(layout.fragments.size(), 255u);
    std::vector<int> uses(256, 0);
    std::size_t at = layout.codesAt;
    for (; embeddedDocument[at] != 0; ++at)
        ++uses[embeddedDocument[at]];
    const std::size_t blockSize = at + 1;
    for (int n = 1; n <= 255; ++n) {
        EXPECT_FALSE(layout.fragments[static_cast<std::size_t>(n - 1)].empty()) << n;
        EXPECT_GT(uses[static_cast<std::size_t>(n)], 0) << "fragment " << n << " never named";
    }
    // Multi-byte fragments make the block clearly smaller than the text it carries, itself
    // smaller than a one-fragment-per-byte form.
    EXPECT_LT(blockSize * 10, sourceText().size() * 7);
}

TEST(EmbeddedDocument, IsUtf8HtmlWithLineFeedsOnlyAndTheMarkNearItsStart) {
    const std::string text = sourceText();
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.rfind("<!DOCTYPE html>\n", 0), 0u);
    EXPECT_NE(text.find("<html lang=\"fr\">"), std::string::npos);
    EXPECT_NE(text.find("<meta charset=\"utf-8\">"), std::string::npos);
    const std::size_t mark = text.find(documentMark);
    ASSERT_NE(mark, std::string::npos);
    EXPECT_LE(mark + std::strlen(documentMark), std::size_t{512});
    EXPECT_LE(mark + std::strlen(documentMark), documentMarkWindow);
    EXPECT_EQ(text.back(), '\n');

    // Every byte sequence is well-formed UTF-8 (no overlong forms, no surrogates).
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t at = 0;
    while (at < text.size()) {
        const unsigned lead = bytes[at];
        std::size_t extra = 0;
        unsigned value = 0;
        if (lead < 0x80) {
            value = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            value = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            value = lead & 0x07;
        } else {
            FAIL() << "bad UTF-8 lead byte at " << at;
        }
        ASSERT_LE(at + extra, text.size() - 1) << "truncated UTF-8 at " << at;
        for (std::size_t k = 1; k <= extra; ++k) {
            ASSERT_EQ(bytes[at + k] & 0xC0u, 0x80u) << "bad UTF-8 at " << at;
            value = (value << 6) | (bytes[at + k] & 0x3Fu);
        }
        EXPECT_FALSE(extra == 2 && value < 0x800) << "overlong at " << at;
        EXPECT_FALSE(extra == 3 && (value < 0x10000 || value > 0x10FFFF)) << at;
        EXPECT_FALSE(value >= 0xD800 && value <= 0xDFFF) << "surrogate at " << at;
        at += extra + 1;
    }
}

TEST(EmbeddedDocument, TidyFindsNoProblems) {
    if (runQuietly({"tidy", "-v"}) != 0) GTEST_SKIP() << "tidy is not installed";
    // Exit status 0: neither errors (2) nor warnings (1).
    EXPECT_EQ(runQuietly(
                  {"tidy", "-q", "-e", "-utf8", std::string(VARNOCK_SOURCE_DIR) + "/docs/cv.html"}),
              0);
}

// --- The packer -----------------------------------------------------------------------------

// Packs `text` with the build's packer into a raw block; empty when the packer refused it.
Bytes packText(const ScratchDir& dir, const std::string& text) {
    testsupport::writeText(dir.file("in.html"), text);
    if (runQuietly({VARNOCK_PACKER, "--binary", dir.file("in.html"), dir.file("out.bin")}) != 0) {
        return {};
    }
    return testsupport::readFile(dir.file("out.bin"));
}

TEST(DocumentPacker, RoundTripsAwkwardTexts) {
    std::string everyByte;
    for (int round = 0; round < 3; ++round) {
        for (int b = 1; b <= 255; ++b)
            everyByte.push_back(static_cast<char>(b));
    }
    std::string repeated;
    for (int i = 0; i < 2000; ++i)
        repeated += "<li>ligne " + std::to_string(i % 37) + "</li>\n";
    std::string runs(5000, 'a');
    runs += std::string(333, 'b') + "ab" + std::string(7, 'a');
    const std::string cases[] = {
        "",
        "x",
        "aa",
        "aaa",
        "line\r\nwith CR LF\r\n",
        "caf\xC3\xA9 \xE2\x82\xAC \xFF\x80",
        everyByte,
        repeated,
        runs,
        sourceText(),
    };
    for (const std::string& text : cases) {
        ScratchDir dir;
        const Bytes block = packText(dir, text);
        ASSERT_FALSE(block.empty()) << "refused a text of " << text.size() << " bytes";
        const Layout layout = layoutOf(block.data());
        ASSERT_EQ(block.back(), 0);
        // Exactly one end mark: the code sequence has no 0 before the block's last byte.
        for (std::size_t at = layout.codesAt; at + 1 < block.size(); ++at) {
            ASSERT_NE(block[at], 0) << "early end mark in a text of " << text.size() << " bytes";
        }
        EXPECT_EQ(expand(block), text) << "text of " << text.size() << " bytes";
    }
}

TEST(DocumentPacker, UsesLongFragmentsForRepeatedText) {
    std::string repeated;
    for (int i = 0; i < 2000; ++i)
        repeated += "<li>ligne " + std::to_string(i % 37) + "</li>\n";
    ScratchDir dir;
    const Bytes block = packText(dir, repeated);
    ASSERT_FALSE(block.empty());
    EXPECT_LT(block.size() * 10, repeated.size());
}

TEST(DocumentPacker, RefusesAZeroByte) {
    ScratchDir dir;
    testsupport::writeText(dir.file("in.html"), std::string("<p>a\0b</p>\n", 11));
    EXPECT_EQ(runQuietly({VARNOCK_PACKER, dir.file("in.html"), dir.file("out.cpp")}), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.cpp")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.cpp.tmp")));
}

}  // namespace
