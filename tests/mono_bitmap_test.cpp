// MonoBitmap: creation and release through injected allocators, pixel access, the multi-byte
// integers and the WBMP writer and reader, including damaged and truncated files.
#include "mono/mono_bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

using testsupport::Bytes;

constexpr std::int32_t int32Max = std::numeric_limits<std::int32_t>::max();

// Counting allocators; the allocating one fills its blocks with 0xAA so a missing clear shows.
int allocateCalls = 0;
std::size_t lastAllocateSize = 0;
int releaseCalls = 0;

void* refusingAllocate(std::size_t size) {
    ++allocateCalls;
    lastAllocateSize = size;
    return nullptr;
}

void* countingAllocate(std::size_t size) {
    refusingAllocate(size);
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) std::memset(block, 0xAA, size);
    return block;
}

void countingRelease(void* block) {
    ++releaseCalls;
    std::free(block);
}

std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t> sizesOf(const MonoBitmap& b) {
    return {b.width, b.height, b.bytesPerRow, b.dataSize};
}

Bytes blockOf(const MonoBitmap& bitmap) {
    return Bytes(bitmap.data, bitmap.data + bitmap.dataSize);
}

// Everything written to a memory stream by `write`.
template <typename Write>
Bytes captureStream(Write write) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    if (stream == nullptr) return {};
    write(stream);
    std::fclose(stream);
    Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

Bytes wbmpBytes(const MonoBitmap& bitmap) {
    return captureStream([&](std::FILE* s) { EXPECT_EQ(monoWriteWbmp(&bitmap, s), 0); });
}

// A read-only stream over a copy of `bytes` (one byte more, as fmemopen wants a buffer).
struct ByteStream {
    Bytes copy;
    std::FILE* stream;
    explicit ByteStream(Bytes bytes) : copy(std::move(bytes)) {
        copy.push_back(0);
        stream = fmemopen(copy.data(), copy.size() - 1, "r");
    }
    ~ByteStream() { std::fclose(stream); }
};

// A width x height bitmap drawn in a pattern that is neither symmetric nor periodic by rows.
MonoBitmap patterned(std::int32_t width, std::int32_t height) {
    MonoBitmap bitmap{};
    EXPECT_EQ(monoCreate(&bitmap, width, height, countingAllocate), 0);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x)
            monoSetPixel(&bitmap, x, y, (x * 7 + y * 3 + x * y) % 5 < 2 ? 1 : 0);
    }
    return bitmap;
}

class MonoBitmapTest : public ::testing::Test {
protected:
    void SetUp() override { allocateCalls = releaseCalls = 0; }
};

TEST_F(MonoBitmapTest, CreateSizesEachRowInWholeBytesAndClearsTheBlock) {
    struct Case {
        std::int32_t width, height, bytesPerRow, dataSize;
    };
    const Case cases[] = {{1, 1, 1, 1}, {7, 2, 1, 2},  {8, 1, 1, 1},
                          {9, 3, 2, 6}, {17, 1, 3, 3}, {1000, 1000, 125, 125000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        MonoBitmap bitmap{};
        ASSERT_EQ(monoCreate(&bitmap, c.width, c.height, countingAllocate), 0);
        EXPECT_EQ(lastAllocateSize, static_cast<std::size_t>(c.dataSize));
        EXPECT_EQ(blockOf(bitmap), Bytes(static_cast<std::size_t>(c.dataSize), 0));
        EXPECT_EQ(monoFree(&bitmap, countingRelease), 0);
        // Released once; the sizes stay.
        EXPECT_EQ(bitmap.data, nullptr);
        EXPECT_EQ(monoFree(&bitmap, countingRelease), 2);
        EXPECT_EQ(sizesOf(bitmap), std::make_tuple(c.width, c.height, c.bytesPerRow, c.dataSize));
    }
    EXPECT_EQ(monoFree(nullptr, countingRelease), 1);
    EXPECT_EQ(allocateCalls, 6);
    EXPECT_EQ(releaseCalls, 6);
}

TEST_F(MonoBitmapTest, CreateRefusals) {
    // Codes 1-3 leave the record as it was; 4 stores the sizes (dataSize 0 when it does not fit
    // 32 bits) with no block. The largest block that fits still reaches the allocator.
    struct Case {
        bool nullRecord;
        std::int32_t width, height, code, allocatorCalls, bytesPerRow, dataSize;
    };
    const std::int32_t widest = (int32Max - 7) / 8;  // bytes a row when width + 7 just fits
    const Case cases[] = {{true, 0, 0, 1, 0, 0, 0},
                          {false, 0, 0, 2, 0, 0, 0},
                          {false, 10, -5, 3, 0, 0, 0},
                          {false, 10, 2, 4, 1, 2, 4},
                          {false, 8, int32Max, 4, 1, 1, int32Max},
                          {false, 9, int32Max, 4, 0, 2, 0},
                          {false, 1 << 20, 1 << 15, 4, 0, 1 << 17, 0},  // 2^32 bytes
                          {false, int32Max - 7, 1, 4, 1, widest, widest},
                          {false, int32Max - 6, 1, 4, 0, widest + 1, widest + 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        allocateCalls = 0;
        lastAllocateSize = 0;
        std::uint8_t marker = 0;
        MonoBitmap bitmap{-11, -22, -33, -44, &marker};
        EXPECT_EQ(monoCreate(c.nullRecord ? nullptr : &bitmap, c.width, c.height, refusingAllocate),
                  c.code);
        EXPECT_EQ(allocateCalls, c.allocatorCalls);
        EXPECT_EQ(lastAllocateSize, std::size_t(c.allocatorCalls == 1 ? c.dataSize : 0));
        const bool stored = c.code == 4;
        EXPECT_EQ(sizesOf(bitmap),
                  stored ? std::make_tuple(c.width, c.height, c.bytesPerRow, c.dataSize)
                         : std::make_tuple(-11, -22, -33, -44));
        EXPECT_EQ(bitmap.data, stored ? nullptr : &marker);
    }
}

TEST_F(MonoBitmapTest, EachPixelIsOneBitMostSignificantFirst) {
    // Where pixels of a 10 x 2 bitmap land; any nonzero value sets, 0 clears that bit alone.
    // Outside the picture, padding bits (x 10-15) included: 3, nothing changes, reads 0.
    struct Case {
        std::int32_t x, y, value, code;
        std::size_t byte;
        std::uint8_t mask;
    };
    const Case cases[] = {{0, 0, 1, 0, 0, 0x80}, {7, 0, -7, 0, 0, 0x01}, {8, 0, 256, 0, 1, 0x80},
                          {9, 0, 1, 0, 1, 0x40}, {3, 1, 1, 0, 2, 0x10},  {9, 1, 1, 0, 3, 0x40},
                          {10, 0, 1, 3, 0, 0},   {-1, 0, 1, 3, 0, 0},    {0, 2, 1, 3, 0, 0},
                          {0, -1, 1, 3, 0, 0},   {15, 1, 1, 3, 0, 0},    {0, int32Max, 1, 3, 0, 0}};
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 10, 2, countingAllocate), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
        for (const std::uint8_t ground : {0x00, 0xFF}) {
            std::memset(bitmap.data, ground, 4);
            ASSERT_EQ(monoSetPixel(&bitmap, c.x, c.y, ground == 0 ? c.value : 0), c.code);
            Bytes expected(4, ground);
            expected[c.byte] = static_cast<std::uint8_t>(ground ^ c.mask);
            EXPECT_EQ(blockOf(bitmap), expected);
            EXPECT_EQ(monoGetPixel(&bitmap, c.x, c.y), c.code == 0 && ground == 0 ? 1 : 0);
        }
    }
    EXPECT_EQ(monoSetPixel(nullptr, 0, 0, 1), 1);
    EXPECT_EQ(monoGetPixel(nullptr, 0, 0), 0);
    ASSERT_EQ(monoFree(&bitmap, countingRelease), 0);
    EXPECT_EQ(monoSetPixel(&bitmap, 99, 1, 1), 2);  // the block is tested before the bounds
    EXPECT_EQ(monoGetPixel(&bitmap, 1, 1), 0);
}

TEST_F(MonoBitmapTest, MultiByteIntegers) {
    // `written`: the writer gives exactly these bytes, and the reader leaves the byte after them.
    // The others, read to their end: input cut short, leading empty groups, bits beyond 31 lost.
    struct Case {
        std::int32_t value;
        Bytes bytes;
        bool written;
    };
    const Case cases[] = {{0, {0x00}, true},
                          {127, {0x7F}, true},
                          {128, {0x81, 0x00}, true},
                          {1000, {0x87, 0x68}, true},
                          {16384, {0x81, 0x80, 0x00}, true},
                          {int32Max, {0x87, 0xFF, 0xFF, 0xFF, 0x7F}, true},
                          {0, {}, false},
                          {1, {0x81}, false},
                          {5, {0x80, 0x80, 0x05}, false},
                          {10, {0x90, 0x80, 0x80, 0x80, 0x0A}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        Bytes input = c.bytes;
        if (c.written) {
            EXPECT_EQ(captureStream([&](std::FILE* s) { writeMultiByteInt(s, c.value); }), input);
            input.push_back(0x55);
        }
        ByteStream in(input);
        EXPECT_EQ(readMultiByteInt(in.stream), c.value);
        EXPECT_EQ(std::fgetc(in.stream), c.written ? 0x55 : EOF);
    }
    EXPECT_EQ(captureStream([](std::FILE* s) { writeMultiByteGroups(s, 200, 0x80); }),
              (Bytes{0x81, 0xC8}));
}

TEST_F(MonoBitmapTest, WriterGoldenBytes) {
    // All white 10 x 2, with sets on the padding refused: the padding bits stay 0.
    MonoBitmap white{};
    ASSERT_EQ(monoCreate(&white, 10, 2, countingAllocate), 0);
    for (std::int32_t at = 0; at < 32; ++at)
        monoSetPixel(&white, at % 16, at / 16, 1);
    EXPECT_EQ(wbmpBytes(white), (Bytes{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xC0, 0xFF, 0xC0}));
    monoFree(&white, countingRelease);

    const char* const rows[] = {"#..#....#", ".#......#", "........."};
    MonoBitmap drawn{};
    ASSERT_EQ(monoCreate(&drawn, 9, 3, countingAllocate), 0);
    for (std::int32_t at = 0; at < 27; ++at)
        monoSetPixel(&drawn, at % 9, at / 9, rows[at / 9][at % 9] == '#');
    EXPECT_EQ(wbmpBytes(drawn),
              (Bytes{0x00, 0x00, 0x09, 0x03, 0x90, 0x80, 0x40, 0x80, 0x00, 0x00}));
    monoFree(&drawn, countingRelease);
}

TEST_F(MonoBitmapTest, WriterRefusesInOrderAndWritesFromTheStreamPosition) {
    MonoBitmap released{};
    ASSERT_EQ(monoCreate(&released, 4, 4, countingAllocate), 0);
    ASSERT_EQ(monoFree(&released, countingRelease), 0);
    MonoBitmap valid{};
    ASSERT_EQ(monoCreate(&valid, 1, 1, countingAllocate), 0);
    EXPECT_EQ(monoWriteWbmp(&valid, nullptr), 3);
    const Bytes bytes = captureStream([&](std::FILE* s) {
        std::fputc('<', s);
        EXPECT_EQ(monoWriteWbmp(nullptr, s), 1);
        EXPECT_EQ(monoWriteWbmp(&released, s), 2);
        EXPECT_EQ(monoWriteWbmp(&valid, s), 0);
        EXPECT_EQ(std::fputc('>', s), '>');  // still open
    });
    EXPECT_EQ(bytes, (Bytes{'<', 0x00, 0x00, 0x01, 0x01, 0x00, '>'}));
    monoFree(&valid, countingRelease);
}

TEST_F(MonoBitmapTest, ReaderCodes) {
    struct Case {
        const char* what;
        Bytes bytes;
        std::int32_t code;
    };
    const Case cases[] = {{"type 1", {0x01, 0x00, 0x01, 0x01, 0x80}, 1},
                          {"header 1", {0x00, 0x01, 0x01, 0x01, 0x80}, 2},
                          {"width 0", {0x00, 0x00, 0x00, 0x01, 0x80}, 3},
                          {"height 0", {0x00, 0x00, 0x01, 0x00, 0x80}, 3},
                          {"width 1001", {0x00, 0x00, 0x87, 0x69, 0x01, 0x80}, 3},
                          {"height 1001", {0x00, 0x00, 0x01, 0x87, 0x69, 0x80}, 3},
                          {"negative width", {0x00, 0x00, 0x88, 0x80, 0x80, 0x80, 0x00, 0x01}, 3},
                          {"no image data", {0x00, 0x00, 0x01, 0x01}, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        allocateCalls = 0;
        MonoBitmap bitmap{};
        ByteStream in(c.bytes);
        EXPECT_EQ(monoReadWbmp(&bitmap, in.stream, countingAllocate), c.code);
        EXPECT_EQ(allocateCalls, c.code == 5 ? 1 : 0);
        EXPECT_EQ(bitmap.data != nullptr, c.code == 5);
        monoFree(&bitmap, countingRelease);
    }
    MonoBitmap bitmap{};
    EXPECT_EQ(monoReadWbmp(&bitmap, nullptr, countingAllocate), 1);
    ByteStream refused(Bytes{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xC0, 0xFF, 0xC0});
    EXPECT_EQ(monoReadWbmp(&bitmap, refused.stream, refusingAllocate), 4);
    EXPECT_EQ(lastAllocateSize, 4u);
}

TEST_F(MonoBitmapTest, ReaderKeepsWhatArrivedAndStopsAfterTheData) {
    // Two of four data bytes: code 5, the rest of the block clear and kept for the caller.
    ByteStream truncated(Bytes{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xC0});
    MonoBitmap bitmap{};
    ASSERT_EQ(monoReadWbmp(&bitmap, truncated.stream, countingAllocate), 5);
    EXPECT_EQ(sizesOf(bitmap), std::make_tuple(10, 2, 2, 4));
    EXPECT_EQ(blockOf(bitmap), (Bytes{0xFF, 0xC0, 0x00, 0x00}));
    EXPECT_EQ(monoFree(&bitmap, countingRelease), 0);

    // Padding bits are taken as they come; the bytes after the data stay unread.
    ByteStream whole(Bytes{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xFF, 0x12, 0x3F, 0x77});
    ASSERT_EQ(monoReadWbmp(&bitmap, whole.stream, countingAllocate), 0);
    EXPECT_EQ(blockOf(bitmap), (Bytes{0xFF, 0xFF, 0x12, 0x3F}));
    EXPECT_EQ(std::fgetc(whole.stream), 0x77);
    monoFree(&bitmap, countingRelease);
}

TEST_F(MonoBitmapTest, WriteThenReadGivesBackTheSameBitmapUpToTheReaderLimit) {
    struct Case {
        std::int32_t width, height, readCode;
    };
    const Case cases[] = {{1, 1, 0},       {9, 3, 0},    {128, 3, 0}, {999, 7, 0},
                          {1000, 1000, 0}, {1001, 1, 3}, {1, 1001, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        MonoBitmap original = patterned(c.width, c.height);
        const Bytes file = wbmpBytes(original);
        ByteStream in(file);
        MonoBitmap copy{};
        ASSERT_EQ(monoReadWbmp(&copy, in.stream, countingAllocate), c.readCode);
        if (c.readCode == 0) {
            EXPECT_EQ(sizesOf(copy), sizesOf(original));
            EXPECT_EQ(blockOf(copy), blockOf(original));
            EXPECT_EQ(wbmpBytes(copy), file);
            monoFree(&copy, countingRelease);
        }
        monoFree(&original, countingRelease);
    }
    EXPECT_EQ(allocateCalls, releaseCalls);
}

// Reads `file`; checks the code is one of the reader's and the record matches it.
std::int32_t readChecked(const Bytes& file) {
    ByteStream in(file);
    MonoBitmap bitmap{};
    const std::int32_t code = monoReadWbmp(&bitmap, in.stream, countingAllocate);
    EXPECT_TRUE(code >= 0 && code <= 5) << code;
    if (code == 0 || code == 5) {
        EXPECT_TRUE(bitmap.width >= 1 && bitmap.width <= 1000 && bitmap.height >= 1 &&
                    bitmap.height <= 1000);
        EXPECT_EQ(monoFree(&bitmap, countingRelease), 0);
    } else {
        EXPECT_EQ(bitmap.data, nullptr);
    }
    return code;
}

TEST_F(MonoBitmapTest, EveryCutAndEveryFlippedBitGivesADefinedCode) {
    MonoBitmap bitmap = patterned(130, 129);  // both sizes take two bytes
    const Bytes file = wbmpBytes(bitmap);
    monoFree(&bitmap, countingRelease);
    ASSERT_EQ(file.size(), 6u + 17 * 129);

    for (std::size_t length = 0; length <= file.size(); ++length) {
        // No type; no header byte; no width, or width 1 with no height; height cut to 1; short
        // image data; the whole file.
        const std::int32_t expected = length == 0            ? 1
                                      : length == 1          ? 2
                                      : length <= 4          ? 3
                                      : length < file.size() ? 5
                                                             : 0;
        EXPECT_EQ(readChecked(Bytes(file.begin(), file.begin() + std::ptrdiff_t(length))), expected)
            << "cut at " << length;
    }
    for (std::size_t at = 0; at < file.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes damaged = file;
            damaged[at] = static_cast<std::uint8_t>(damaged[at] ^ (1u << bit));
            const std::int32_t code = readChecked(damaged);
            // Header bytes give 1 and 2; the data is taken as it comes; the sizes may go either
            // way.
            if (at < 2 || at >= 6) {
                EXPECT_EQ(code, at < 2 ? std::int32_t(at) + 1 : 0) << at << ", bit " << bit;
            } else {
                EXPECT_TRUE(code == 0 || code == 3 || code == 5) << at << ", bit " << bit;
            }
        }
    }
    EXPECT_EQ(allocateCalls, releaseCalls);
}

}  // namespace
