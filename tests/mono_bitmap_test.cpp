// MonoBitmap: creation and release through injected allocators, pixel access, the multi-byte
// integers and the WBMP writer and reader, including damaged and truncated files.
#include "mono/mono_bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "test_support.h"

namespace {

using testsupport::Bytes;

constexpr std::int32_t int32Max = std::numeric_limits<std::int32_t>::max();

// Allocation and release functions that count their calls. The allocating one hands out
// blocks full of 0xAA so that a missing clear shows; the refusing one answers null.
int allocateCalls = 0;
std::size_t lastAllocateSize = 0;
int releaseCalls = 0;
void* lastReleased = nullptr;

void* countingAllocate(std::size_t size) {
    ++allocateCalls;
    lastAllocateSize = size;
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) std::memset(block, 0xAA, size);
    return block;
}

void* refusingAllocate(std::size_t size) {
    ++allocateCalls;
    lastAllocateSize = size;
    return nullptr;
}

void countingRelease(void* block) {
    ++releaseCalls;
    lastReleased = block;
    std::free(block);
}

// A record whose every field holds a value that no operation would store.
MonoBitmap sentinelRecord() {
    static std::uint8_t marker = 0;
    return MonoBitmap{-11, -22, -33, -44, &marker};
}

bool sameRecord(const MonoBitmap& a, const MonoBitmap& b) {
    return a.width == b.width && a.height == b.height && a.bytesPerRow == b.bytesPerRow &&
           a.dataSize == b.dataSize && a.data == b.data;
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
    EXPECT_NE(stream, nullptr);
    if (stream == nullptr) return {};
    write(stream);
    std::fclose(stream);
    Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// A read-only stream over a copy of `bytes`.
class ByteStream {
public:
    explicit ByteStream(const Bytes& bytes) : copy_(bytes) {
        copy_.push_back(0);  // fmemopen wants a buffer even for an empty stream
        stream_ = fmemopen(copy_.data(), bytes.size(), "r");
        EXPECT_NE(stream_, nullptr);
    }
    ~ByteStream() {
        if (stream_ != nullptr) std::fclose(stream_);
    }
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;
    std::FILE* get() const { return stream_; }

private:
    Bytes copy_;
    std::FILE* stream_ = nullptr;
};

// A bitmap whose pixels are set in a pattern that is neither symmetric nor periodic by rows.
void drawPattern(MonoBitmap* bitmap) {
    for (std::int32_t y = 0; y < bitmap->height; ++y) {
        for (std::int32_t x = 0; x < bitmap->width; ++x) {
            monoSetPixel(bitmap, x, y, (x * 7 + y * 3 + x * y) % 5 < 2 ? 1 : 0);
        }
    }
}

class MonoBitmapTest : public ::testing::Test {
protected:
    void SetUp() override {
        allocateCalls = 0;
        lastAllocateSize = 0;
        releaseCalls = 0;
        lastReleased = nullptr;
    }
};

// --- Creation --------------------------------------------------------------------------------

TEST_F(MonoBitmapTest, CreateSizesEachRowInWholeBytes) {
    struct Case {
        std::int32_t width, height, bytesPerRow, dataSize;
    };
    const Case cases[] = {{1, 1, 1, 1},  {7, 2, 1, 2},  {8, 1, 1, 1},  {9, 3, 2, 6},
                          {16, 2, 2, 4}, {17, 1, 3, 3}, {10, 2, 2, 4}, {1000, 1000, 125, 125000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        allocateCalls = 0;
        MonoBitmap bitmap{};
        ASSERT_EQ(monoCreate(&bitmap, c.width, c.height, countingAllocate), 0);
        EXPECT_EQ(bitmap.width, c.width);
        EXPECT_EQ(bitmap.height, c.height);
        EXPECT_EQ(bitmap.bytesPerRow, c.bytesPerRow);
        EXPECT_EQ(bitmap.dataSize, c.dataSize);
        EXPECT_EQ(allocateCalls, 1);
        EXPECT_EQ(lastAllocateSize, static_cast<std::size_t>(c.dataSize));
        EXPECT_EQ(blockOf(bitmap), Bytes(static_cast<std::size_t>(c.dataSize), 0));
        EXPECT_EQ(monoFree(&bitmap, countingRelease), 0);
    }
}

TEST_F(MonoBitmapTest, NewBitmapReadsBlackEverywhere) {
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 13, 5, countingAllocate), 0);
    for (std::int32_t y = 0; y < 5; ++y) {
        for (std::int32_t x = 0; x < 13; ++x)
            EXPECT_EQ(monoGetPixel(&bitmap, x, y), 0);
    }
    monoFree(&bitmap, countingRelease);
}

TEST_F(MonoBitmapTest, CreateRefusesBadArgumentsInOrderWithoutTouchingTheRecord) {
    struct Case {
        bool nullRecord;
        std::int32_t width, height, code;
    };
    const Case cases[] = {
        {true, 0, 0, 1},
        {true, 10, 10, 1},
        {false, 0, 0, 2},
        {false, 0, 5, 2},
        {false, -1, 5, 2},
        {false, std::numeric_limits<std::int32_t>::min(), 5, 2},
        {false, 10, 0, 3},
        {false, 10, -5, 3},
        {false, 1, std::numeric_limits<std::int32_t>::min(), 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        allocateCalls = 0;
        MonoBitmap bitmap = sentinelRecord();
        const MonoBitmap before = bitmap;
        EXPECT_EQ(monoCreate(c.nullRecord ? nullptr : &bitmap, c.width, c.height, countingAllocate),
                  c.code);
        EXPECT_TRUE(sameRecord(bitmap, before));
        EXPECT_EQ(allocateCalls, 0);
    }
}

TEST_F(MonoBitmapTest, RefusedBlockGivesFourWithTheSizesStored) {
    MonoBitmap bitmap = sentinelRecord();
    EXPECT_EQ(monoCreate(&bitmap, 10, 2, refusingAllocate), 4);
    EXPECT_EQ(allocateCalls, 1);
    EXPECT_EQ(lastAllocateSize, 4u);
    EXPECT_EQ(bitmap.width, 10);
    EXPECT_EQ(bitmap.height, 2);
    EXPECT_EQ(bitmap.bytesPerRow, 2);
    EXPECT_EQ(bitmap.dataSize, 4);
    EXPECT_EQ(bitmap.data, nullptr);
    EXPECT_EQ(monoFree(&bitmap, countingRelease), 2);
    EXPECT_EQ(releaseCalls, 0);
}

TEST_F(MonoBitmapTest, SizesBeyondThirtyTwoBitsAreRefusedBeforeAllocating) {
    // width and height that fit, but whose block (or width + 7) does not. The largest block that
    // fits reaches the allocator (which refuses it here); one row byte more does not.
    struct Case {
        std::int32_t width, height;
        int allocatorCalls;
        std::int32_t bytesPerRow, dataSize;
    };
    const Case cases[] = {
        {8, int32Max, 1, 1, int32Max},      // exactly the largest count: asked for
        {9, int32Max, 0, 2, 0},             // twice that: refused before
        {1 << 20, 1 << 15, 0, 1 << 17, 0},  // 2^32 bytes
        {1 << 20, (1 << 14) - 1, 1, 1 << 17, (1 << 17) * ((1 << 14) - 1)},
        {int32Max - 7, 1, 1, (int32Max - 7) / 8, (int32Max - 7) / 8},  // width + 7 still fits
        {int32Max - 6, 1, 0, (int32Max - 7) / 8 + 1, (int32Max - 7) / 8 + 1},
        {int32Max, 1, 0, (int32Max - 7) / 8 + 1, (int32Max - 7) / 8 + 1},
        {int32Max, int32Max, 0, (int32Max - 7) / 8 + 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        allocateCalls = 0;
        MonoBitmap bitmap = sentinelRecord();
        EXPECT_EQ(monoCreate(&bitmap, c.width, c.height, refusingAllocate), 4);
        EXPECT_EQ(allocateCalls, c.allocatorCalls);
        if (c.allocatorCalls == 1) {
            EXPECT_EQ(lastAllocateSize, static_cast<std::size_t>(c.dataSize));
        }
        EXPECT_EQ(bitmap.width, c.width);
        EXPECT_EQ(bitmap.height, c.height);
        EXPECT_EQ(bitmap.bytesPerRow, c.bytesPerRow);
        EXPECT_EQ(bitmap.dataSize, c.dataSize);
        EXPECT_EQ(bitmap.data, nullptr);
    }
}

// --- Release ---------------------------------------------------------------------------------

TEST_F(MonoBitmapTest, FreeTwiceReleasesOnceAndKeepsTheSizes) {
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 9, 3, countingAllocate), 0);
    void* const block = bitmap.data;
    EXPECT_EQ(monoFree(&bitmap, countingRelease), 0);
    EXPECT_EQ(releaseCalls, 1);
    EXPECT_EQ(lastReleased, block);
    EXPECT_EQ(bitmap.data, nullptr);
    EXPECT_EQ(monoFree(&bitmap, countingRelease), 2);
    EXPECT_EQ(releaseCalls, 1);
    EXPECT_EQ(bitmap.width, 9);
    EXPECT_EQ(bitmap.height, 3);
    EXPECT_EQ(bitmap.bytesPerRow, 2);
    EXPECT_EQ(bitmap.dataSize, 6);
    EXPECT_EQ(monoFree(nullptr, countingRelease), 1);
    EXPECT_EQ(releaseCalls, 1);
}

// --- Pixels ----------------------------------------------------------------------------------

TEST_F(MonoBitmapTest, PixelNineOfTheFirstRowIsMaskFortyOfByteOne) {
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 10, 2, countingAllocate), 0);
    EXPECT_EQ(monoSetPixel(&bitmap, 9, 0, 1), 0);
    EXPECT_EQ(blockOf(bitmap), (Bytes{0x00, 0x40, 0x00, 0x00}));
    EXPECT_EQ(monoGetPixel(&bitmap, 9, 0), 1);
    EXPECT_EQ(monoGetPixel(&bitmap, 8, 0), 0);
    EXPECT_EQ(monoGetPixel(&bitmap, 9, 1), 0);
    monoFree(&bitmap, countingRelease);
}

TEST_F(MonoBitmapTest, EachPixelIsOneBitMostSignificantFirst) {
    // Where each pixel of a 10 x 2 bitmap lands: byte index and mask.
    struct Case {
        std::int32_t x, y;
        std::size_t byte;
        std::uint8_t mask;
    };
    const Case cases[] = {{0, 0, 0, 0x80}, {1, 0, 0, 0x40}, {7, 0, 0, 0x01}, {8, 0, 1, 0x80},
                          {0, 1, 2, 0x80}, {3, 1, 2, 0x10}, {8, 1, 3, 0x80}, {9, 1, 3, 0x40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
        MonoBitmap bitmap{};
        ASSERT_EQ(monoCreate(&bitmap, 10, 2, countingAllocate), 0);
        ASSERT_EQ(monoSetPixel(&bitmap, c.x, c.y, 1), 0);
        Bytes expected(4, 0);
        expected[c.byte] = c.mask;
        EXPECT_EQ(blockOf(bitmap), expected);

        // Clearing it in a full block changes that bit alone.
        std::memset(bitmap.data, 0xFF, 4);
        ASSERT_EQ(monoSetPixel(&bitmap, c.x, c.y, 0), 0);
        Bytes cleared(4, 0xFF);
        cleared[c.byte] = static_cast<std::uint8_t>(0xFF & ~c.mask);
        EXPECT_EQ(blockOf(bitmap), cleared);
        EXPECT_EQ(monoGetPixel(&bitmap, c.x, c.y), 0);
        monoFree(&bitmap, countingRelease);
    }
}

TEST_F(MonoBitmapTest, AnyNonzeroValueSetsAndZeroClears) {
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 3, 1, countingAllocate), 0);
    EXPECT_EQ(monoSetPixel(&bitmap, 0, 0, -7), 0);
    EXPECT_EQ(monoSetPixel(&bitmap, 2, 0, 256), 0);
    EXPECT_EQ(blockOf(bitmap), Bytes{0xA0});
    EXPECT_EQ(monoSetPixel(&bitmap, 2, 0, 0), 0);
    EXPECT_EQ(monoSetPixel(&bitmap, 1, 0, 0), 0);  // already clear: stays clear
    EXPECT_EQ(blockOf(bitmap), Bytes{0x80});
    monoFree(&bitmap, countingRelease);
}

TEST_F(MonoBitmapTest, SetPixelRefusesOutsideAndChangesNothing) {
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 10, 2, countingAllocate), 0);
    struct Case {
        std::int32_t x, y;
    };
    const Case outside[] = {{10, 0},       {-1, 0},
                            {0, 2},        {0, -1},
                            {15, 1},       {16, 0},
                            {10, 1},       {int32Max, 0},
                            {0, int32Max}, {std::numeric_limits<std::int32_t>::min(), 0}};
    for (const int value : {1, 0}) {
        std::memset(bitmap.data, value != 0 ? 0x00 : 0xFF, 4);
        const Bytes before = blockOf(bitmap);
        for (const Case& c : outside) {
            SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ") = " << value);
            EXPECT_EQ(monoSetPixel(&bitmap, c.x, c.y, value), 3);
            EXPECT_EQ(monoGetPixel(&bitmap, c.x, c.y), 0);
            EXPECT_EQ(blockOf(bitmap), before);
        }
    }
    monoFree(&bitmap, countingRelease);
}

TEST_F(MonoBitmapTest, PixelAccessNeedsARecordWithABlock) {
    EXPECT_EQ(monoSetPixel(nullptr, 0, 0, 1), 1);
    EXPECT_EQ(monoSetPixel(nullptr, -1, -1, 1), 1);
    EXPECT_EQ(monoGetPixel(nullptr, 0, 0), 0);

    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 4, 4, countingAllocate), 0);
    ASSERT_EQ(monoSetPixel(&bitmap, 1, 1, 1), 0);
    ASSERT_EQ(monoFree(&bitmap, countingRelease), 0);
    EXPECT_EQ(monoSetPixel(&bitmap, 1, 1, 1), 2);
    EXPECT_EQ(monoSetPixel(&bitmap, 99, 1, 1), 2);  // the block is tested before the bounds
    EXPECT_EQ(monoGetPixel(&bitmap, 1, 1), 0);
}

// --- Multi-byte integers ---------------------------------------------------------------------

struct MultiByteCase {
    std::int32_t value;
    Bytes bytes;
};

const MultiByteCase multiByteCases[] = {
    {0, {0x00}},
    {1, {0x01}},
    {127, {0x7F}},
    {128, {0x81, 0x00}},
    {200, {0x81, 0x48}},
    {1000, {0x87, 0x68}},
    {1001, {0x87, 0x69}},
    {16383, {0xFF, 0x7F}},
    {16384, {0x81, 0x80, 0x00}},
    {2097152, {0x81, 0x80, 0x80, 0x00}},
    {268435456, {0x81, 0x80, 0x80, 0x80, 0x00}},
    {2147483647, {0x87, 0xFF, 0xFF, 0xFF, 0x7F}},
};

TEST_F(MonoBitmapTest, MultiByteIntegersAreWrittenInTheFewestBytes) {
    for (const MultiByteCase& c : multiByteCases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(captureStream([&](std::FILE* s) { writeMultiByteInt(s, c.value); }), c.bytes);
    }
}

TEST_F(MonoBitmapTest, MultiByteIntegersReadBackAndStopAtTheLastByte) {
    for (const MultiByteCase& c : multiByteCases) {
        SCOPED_TRACE(c.value);
        Bytes input = c.bytes;
        input.push_back(0x55);  // must still be there after the integer
        ByteStream stream(input);
        EXPECT_EQ(readMultiByteInt(stream.get()), c.value);
        EXPECT_EQ(std::fgetc(stream.get()), 0x55);
    }
}

TEST_F(MonoBitmapTest, GroupWorkerSetsTheGivenFlagOnTheLastByte) {
    EXPECT_EQ(captureStream([](std::FILE* s) { writeMultiByteGroups(s, 5, 0x80); }), Bytes{0x85});
    EXPECT_EQ(captureStream([](std::FILE* s) { writeMultiByteGroups(s, 200, 0x80); }),
              (Bytes{0x81, 0xC8}));
    EXPECT_EQ(captureStream([](std::FILE* s) { writeMultiByteGroups(s, 200, 0); }),
              (Bytes{0x81, 0x48}));
}

TEST_F(MonoBitmapTest, MultiByteReaderOnShortAndOversizedInput) {
    struct Case {
        Bytes bytes;
        std::int32_t value;
    };
    const Case cases[] = {
        {{}, 0},      // already at the end
        {{0x81}, 1},  // cut short: groups so far
        {{0x87, 0x68}, 1000},
        {{0x81, 0x80}, 128},
        {{0x80, 0x80, 0x05}, 5},  // leading empty groups
        {{0x88, 0x80, 0x80, 0x80, 0x00}, std::numeric_limits<std::int32_t>::min()},
        {{0x8F, 0xFF, 0xFF, 0xFF, 0x7F}, -1},  // bit 31 set: negative
        {{0x90, 0x80, 0x80, 0x80, 0x00}, 0},   // bit 32 lost
        {{0x90, 0x80, 0x80, 0x80, 0x0A}, 10},
        {{0x81, 0x80, 0x80, 0x80, 0x80, 0x00}, 0},  // bit 35 lost
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes.size() << " bytes, " << c.value);
        ByteStream stream(c.bytes);
        EXPECT_EQ(readMultiByteInt(stream.get()), c.value);
    }
}

// --- Writer ----------------------------------------------------------------------------------

Bytes wbmpBytes(const MonoBitmap& bitmap) {
    return captureStream([&](std::FILE* s) { EXPECT_EQ(monoWriteWbmp(&bitmap, s), 0); });
}

TEST_F(MonoBitmapTest, AllWhiteTenByTwoIsTheEightGoldenBytes) {
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 10, 2, countingAllocate), 0);
    for (std::int32_t y = 0; y < 2; ++y) {
        for (std::int32_t x = 0; x < 10; ++x)
            ASSERT_EQ(monoSetPixel(&bitmap, x, y, 1), 0);
    }
    EXPECT_EQ(wbmpBytes(bitmap), (Bytes{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xC0, 0xFF, 0xC0}));
    monoFree(&bitmap, countingRelease);
}

TEST_F(MonoBitmapTest, WriterPutsTheRowsAfterAHeaderOfMultiByteSizes) {
    // A 9 x 3 picture drawn as rows: byte 0 holds pixels 0-7, byte 1 pixel 8 in its top bit.
    const char* const rows[] = {"#..#....#", ".#......#", "........."};
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 9, 3, countingAllocate), 0);
    for (std::int32_t y = 0; y < 3; ++y) {
        for (std::int32_t x = 0; x < 9; ++x)
            monoSetPixel(&bitmap, x, y, rows[y][x] == '#');
    }
    EXPECT_EQ(wbmpBytes(bitmap),
              (Bytes{0x00, 0x00, 0x09, 0x03, 0x90, 0x80, 0x40, 0x80, 0x00, 0x00}));
    monoFree(&bitmap, countingRelease);
}

TEST_F(MonoBitmapTest, LargeSidesAreWrittenAsMultiByteIntegers) {
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 128, 1000, countingAllocate), 0);
    ASSERT_EQ(monoSetPixel(&bitmap, 127, 999, 1), 0);
    const Bytes bytes = wbmpBytes(bitmap);
    ASSERT_EQ(bytes.size(), 6u + 16 * 1000);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 6), (Bytes{0x00, 0x00, 0x81, 0x00, 0x87, 0x68}));
    EXPECT_EQ(bytes.back(), 0x01);
    monoFree(&bitmap, countingRelease);
}

TEST_F(MonoBitmapTest, PaddingBitsAreWrittenAsZero) {
    // Every pixel set, and every set outside the picture refused: only the picture's bits are 1.
    struct Case {
        std::int32_t width;
        std::uint8_t lastByte;
    };
    const Case cases[] = {{1, 0x80}, {7, 0xFE}, {8, 0xFF}, {9, 0x80}, {15, 0xFE}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        MonoBitmap bitmap{};
        ASSERT_EQ(monoCreate(&bitmap, c.width, 2, countingAllocate), 0);
        for (std::int32_t y = 0; y < 2; ++y) {
            for (std::int32_t x = 0; x < 16; ++x)
                monoSetPixel(&bitmap, x, y, 1);
        }
        const Bytes bytes = wbmpBytes(bitmap);
        ASSERT_EQ(bytes.size(), 4u + 2 * static_cast<std::size_t>(bitmap.bytesPerRow));
        for (std::int32_t y = 0; y < 2; ++y) {
            const std::size_t end = 4 + static_cast<std::size_t>((y + 1) * bitmap.bytesPerRow);
            EXPECT_EQ(bytes[end - 1], c.lastByte);
            if (bitmap.bytesPerRow == 2) {
                EXPECT_EQ(bytes[end - 2], 0xFF);
            }
        }
        monoFree(&bitmap, countingRelease);
    }
}

TEST_F(MonoBitmapTest, WriterRefusesInOrderAndWritesNothing) {
    MonoBitmap released{};
    ASSERT_EQ(monoCreate(&released, 4, 4, countingAllocate), 0);
    ASSERT_EQ(monoFree(&released, countingRelease), 0);
    MonoBitmap valid{};
    ASSERT_EQ(monoCreate(&valid, 4, 4, countingAllocate), 0);

    EXPECT_EQ(monoWriteWbmp(nullptr, nullptr), 1);
    EXPECT_EQ(monoWriteWbmp(&released, nullptr), 2);
    EXPECT_EQ(monoWriteWbmp(&valid, nullptr), 3);
    EXPECT_EQ(captureStream([](std::FILE* s) { EXPECT_EQ(monoWriteWbmp(nullptr, s), 1); }),
              Bytes{});
    EXPECT_EQ(captureStream([&](std::FILE* s) { EXPECT_EQ(monoWriteWbmp(&released, s), 2); }),
              Bytes{});
    monoFree(&valid, countingRelease);
}

TEST_F(MonoBitmapTest, WriterStartsAtTheStreamPositionAndLeavesItOpen) {
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 1, 1, countingAllocate), 0);
    const Bytes bytes = captureStream([&](std::FILE* s) {
        std::fputc('<', s);
        EXPECT_EQ(monoWriteWbmp(&bitmap, s), 0);
        EXPECT_EQ(std::fputc('>', s), '>');  // still open
    });
    EXPECT_EQ(bytes, (Bytes{'<', 0x00, 0x00, 0x01, 0x01, 0x00, '>'}));
    monoFree(&bitmap, countingRelease);
}

// --- Reader ----------------------------------------------------------------------------------

TEST_F(MonoBitmapTest, ReaderCodesForBadHeadersAndSizes) {
    struct Case {
        const char* what;
        Bytes bytes;
        std::int32_t code;
    };
    const Case cases[] = {
        {"empty", {}, 1},
        {"type 1", {0x01, 0x00, 0x01, 0x01, 0x80}, 1},
        {"type 0x80", {0x80}, 1},
        {"only the type", {0x00}, 2},
        {"header 1", {0x00, 0x01, 0x01, 0x01, 0x80}, 2},
        {"header 0xFF", {0x00, 0xFF}, 2},
        {"no sizes", {0x00, 0x00}, 3},
        {"no height", {0x00, 0x00, 0x0A}, 3},
        {"width 0", {0x00, 0x00, 0x00, 0x01, 0x80}, 3},
        {"height 0", {0x00, 0x00, 0x01, 0x00, 0x80}, 3},
        {"width 1001", {0x00, 0x00, 0x87, 0x69, 0x01, 0x80}, 3},
        {"height 1001", {0x00, 0x00, 0x01, 0x87, 0x69, 0x80}, 3},
        {"both 1001", {0x00, 0x00, 0x87, 0x69, 0x87, 0x69}, 3},
        {"negative width", {0x00, 0x00, 0x88, 0x80, 0x80, 0x80, 0x00, 0x01, 0x80}, 3},
        {"width -1", {0x00, 0x00, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x80}, 3},
        {"width cut to 1, no height", {0x00, 0x00, 0x81}, 3},
        {"width 1000, height cut at 1", {0x00, 0x00, 0x87, 0x68, 0x81}, 5},
        {"no image data", {0x00, 0x00, 0x01, 0x01}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        allocateCalls = 0;
        MonoBitmap bitmap{};
        ByteStream stream(c.bytes);
        EXPECT_EQ(monoReadWbmp(&bitmap, stream.get(), countingAllocate), c.code);
        EXPECT_EQ(allocateCalls, c.code == 5 ? 1 : 0);
        EXPECT_EQ(bitmap.data != nullptr, c.code == 5);
        monoFree(&bitmap, countingRelease);
    }
}

TEST_F(MonoBitmapTest, ReaderReadsBothSizesBeforeTestingEither) {
    // The bad width is seen only after the height: the byte after the height is still unread.
    ByteStream stream(Bytes{0x00, 0x00, 0x87, 0x69, 0x82, 0x00, 0x55});
    MonoBitmap bitmap{};
    EXPECT_EQ(monoReadWbmp(&bitmap, stream.get(), countingAllocate), 3);
    EXPECT_EQ(std::fgetc(stream.get()), 0x55);
}

TEST_F(MonoBitmapTest, ReaderWithoutAStreamGivesOne) {
    MonoBitmap bitmap{};
    EXPECT_EQ(monoReadWbmp(&bitmap, nullptr, countingAllocate), 1);
    EXPECT_EQ(allocateCalls, 0);
    EXPECT_EQ(bitmap.data, nullptr);
}

TEST_F(MonoBitmapTest, ReaderGivesFourWhenCreationIsRefused) {
    const Bytes file{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xC0, 0xFF, 0xC0};
    {
        ByteStream stream(file);
        MonoBitmap bitmap{};
        EXPECT_EQ(monoReadWbmp(&bitmap, stream.get(), refusingAllocate), 4);
        EXPECT_EQ(allocateCalls, 1);
        EXPECT_EQ(lastAllocateSize, 4u);
        EXPECT_EQ(bitmap.width, 10);
        EXPECT_EQ(bitmap.height, 2);
        EXPECT_EQ(bitmap.data, nullptr);
    }
    {
        ByteStream stream(file);
        EXPECT_EQ(monoReadWbmp(nullptr, stream.get(), countingAllocate), 4);
    }
}

TEST_F(MonoBitmapTest, TruncatedImageDataGivesFiveAndKeepsTheBlock) {
    // Two of the four data bytes arrive; the rest of the block stays clear.
    ByteStream stream(Bytes{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xC0});
    MonoBitmap bitmap{};
    ASSERT_EQ(monoReadWbmp(&bitmap, stream.get(), countingAllocate), 5);
    ASSERT_NE(bitmap.data, nullptr);
    EXPECT_EQ(bitmap.width, 10);
    EXPECT_EQ(bitmap.height, 2);
    EXPECT_EQ(bitmap.dataSize, 4);
    EXPECT_EQ(blockOf(bitmap), (Bytes{0xFF, 0xC0, 0x00, 0x00}));
    void* const block = bitmap.data;
    EXPECT_EQ(monoFree(&bitmap, countingRelease), 0);
    EXPECT_EQ(releaseCalls, 1);
    EXPECT_EQ(lastReleased, block);
}

TEST_F(MonoBitmapTest, ReaderTakesPaddingAsItIsAndStopsAfterTheData) {
    ByteStream stream(Bytes{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xFF, 0x12, 0x3F, 0x77, 0x88});
    MonoBitmap bitmap{};
    ASSERT_EQ(monoReadWbmp(&bitmap, stream.get(), countingAllocate), 0);
    EXPECT_EQ(blockOf(bitmap), (Bytes{0xFF, 0xFF, 0x12, 0x3F}));
    EXPECT_EQ(std::fgetc(stream.get()), 0x77);
    EXPECT_EQ(monoGetPixel(&bitmap, 9, 0), 1);
    EXPECT_EQ(monoGetPixel(&bitmap, 3, 1), 1);
    EXPECT_EQ(monoGetPixel(&bitmap, 2, 1), 0);
    monoFree(&bitmap, countingRelease);
}

TEST_F(MonoBitmapTest, WriteThenReadGivesBackTheSameBitmap) {
    struct Case {
        std::int32_t width, height;
    };
    const Case cases[] = {{1, 1},   {10, 2},   {8, 8},    {9, 3},       {127, 2},
                          {128, 3}, {1000, 1}, {1, 1000}, {1000, 1000}, {999, 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        MonoBitmap original{};
        ASSERT_EQ(monoCreate(&original, c.width, c.height, countingAllocate), 0);
        drawPattern(&original);
        const Bytes file = wbmpBytes(original);

        ByteStream stream(file);
        MonoBitmap copy{};
        ASSERT_EQ(monoReadWbmp(&copy, stream.get(), countingAllocate), 0);
        EXPECT_EQ(copy.width, original.width);
        EXPECT_EQ(copy.height, original.height);
        EXPECT_EQ(copy.bytesPerRow, original.bytesPerRow);
        EXPECT_EQ(copy.dataSize, original.dataSize);
        EXPECT_EQ(blockOf(copy), blockOf(original));
        EXPECT_EQ(wbmpBytes(copy), file);
        monoFree(&copy, countingRelease);
        monoFree(&original, countingRelease);
    }
}

TEST_F(MonoBitmapTest, SidesAboveTheReaderLimitAreWrittenButNotReadBack) {
    struct Case {
        std::int32_t width, height;
        Bytes header;
    };
    const Case cases[] = {{1001, 1, {0x00, 0x00, 0x87, 0x69, 0x01}},
                          {1, 1001, {0x00, 0x00, 0x01, 0x87, 0x69}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        MonoBitmap original{};
        ASSERT_EQ(monoCreate(&original, c.width, c.height, countingAllocate), 0);
        drawPattern(&original);
        const Bytes file = wbmpBytes(original);
        ASSERT_EQ(file.size(), c.header.size() + static_cast<std::size_t>(original.dataSize));
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 5), c.header);

        allocateCalls = 0;
        ByteStream stream(file);
        MonoBitmap copy{};
        EXPECT_EQ(monoReadWbmp(&copy, stream.get(), countingAllocate), 3);
        EXPECT_EQ(copy.data, nullptr);
        EXPECT_EQ(allocateCalls, 0);
        monoFree(&original, countingRelease);
    }
}

// --- Damaged files ---------------------------------------------------------------------------

// Reads `file` and checks that the answer is one of the reader's codes with the record in the
// matching state; releases whatever block was kept. Returns the code.
std::int32_t readChecked(const Bytes& file) {
    ByteStream stream(file);
    MonoBitmap bitmap{};
    const std::int32_t code = monoReadWbmp(&bitmap, stream.get(), countingAllocate);
    EXPECT_GE(code, 0);
    EXPECT_LE(code, 5);
    if (code == 0 || code == 5) {
        EXPECT_NE(bitmap.data, nullptr);
        EXPECT_GE(bitmap.width, 1);
        EXPECT_LE(bitmap.width, 1000);
        EXPECT_GE(bitmap.height, 1);
        EXPECT_LE(bitmap.height, 1000);
        EXPECT_EQ(monoFree(&bitmap, countingRelease), 0);
    } else {
        EXPECT_EQ(bitmap.data, nullptr);
    }
    return code;
}

// A valid file with a two-byte width (130) and a two-byte height (129).
Bytes sampleFile() {
    MonoBitmap bitmap{};
    EXPECT_EQ(monoCreate(&bitmap, 130, 129, countingAllocate), 0);
    drawPattern(&bitmap);
    const Bytes file = wbmpBytes(bitmap);
    monoFree(&bitmap, countingRelease);
    return file;
}

TEST_F(MonoBitmapTest, EveryCutOfAValidFileGivesItsCode) {
    const Bytes file = sampleFile();
    ASSERT_EQ(file.size(), 6u + 17 * 129);
    for (std::size_t length = 0; length <= file.size(); ++length) {
        SCOPED_TRACE(length);
        // 0: no type; 1: no header byte; 2: no width; 3: width 1 with no height; 4: no height;
        // 5: height cut to 1, in range; later: short image data; whole file: read.
        const std::int32_t expected = length == 0            ? 1
                                      : length == 1          ? 2
                                      : length <= 4          ? 3
                                      : length < file.size() ? 5
                                                             : 0;
        EXPECT_EQ(
            readChecked(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length))),
            expected);
    }
    EXPECT_EQ(allocateCalls, releaseCalls);
}

TEST_F(MonoBitmapTest, EveryFlippedBitGivesADefinedCode) {
    const Bytes file = sampleFile();
    for (std::size_t at = 0; at < file.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            SCOPED_TRACE(testing::Message() << "byte " << at << " bit " << bit);
            Bytes damaged = file;
            damaged[at] = static_cast<std::uint8_t>(damaged[at] ^ (1u << bit));
            const std::int32_t code = readChecked(damaged);
            if (at == 0) {
                EXPECT_EQ(code, 1);
            } else if (at == 1) {
                EXPECT_EQ(code, 2);
            } else if (at >= 6) {
                EXPECT_EQ(code, 0);  // the image data is taken as it comes
            } else {
                EXPECT_TRUE(code == 0 || code == 3 || code == 5) << code;
            }
        }
    }
    EXPECT_EQ(allocateCalls, releaseCalls);
}

}  // namespace
