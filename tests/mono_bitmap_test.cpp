// MonoBitmap and WBMP files: creation through injected allocators, pixel bits, the writers'
// results and multi-byte integers, and the reader's results in the order it tests them.
#include "mono/mono_bitmap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <tuple>

#include "test_support.h"

namespace {

using testsupport::Bytes;

// Blocks come filled with 0xAA so that a missing clear shows.
void* filling(std::size_t size) {
    return std::memset(std::malloc(size + 1), 0xAA, size);
}
void* refusing(std::size_t) {
    return nullptr;
}

Bytes blockOf(const MonoBitmap& b) {
    return b.data == nullptr ? Bytes{} : Bytes(b.data, b.data + b.dataSize);
}

TEST(MonoBitmap, CreateResults) {
    // Codes 1-3 leave the record as it was; 4 stores the sizes (dataSize 0 when it does not fit).
    const std::int32_t max = INT32_MAX;
    const std::int32_t cases[][6] = {
        {0, 1, 1, 1, -3, -4}, {1, 0, 1, 2, -3, -4}, {1, 10, -5, 3, -3, -4},
        {1, 10, 2, 4, 2, 4},  {1, 9, max, 4, 2, 0}, {1, max - 6, 1, 4, max / 8 + 1, max / 8 + 1}};
    for (const auto& [record, width, height, code, bytesPerRow, dataSize] : cases) {
        std::uint8_t marker = 0;
        MonoBitmap bitmap{-1, -2, -3, -4, &marker};
        EXPECT_EQ(monoCreate(record ? &bitmap : nullptr, width, height, refusing), code);
        const bool stored = code == 4;
        EXPECT_EQ(std::tie(bitmap.width, bitmap.height, bitmap.bytesPerRow, bitmap.dataSize),
                  std::tuple(stored ? width : -1, stored ? height : -2, bytesPerRow, dataSize));
        EXPECT_EQ(bitmap.data, stored ? nullptr : &marker) << width << " x " << height;
    }
}

TEST(MonoBitmap, PixelBitsAndTheResultsOfFreeAndWrite) {
    // Pixels of a 10 x 2 bitmap on a clear and a full block: x, y, result, byte, bit; outside
    // (padding included): 3, and the block is left alone.
    const int cases[][5] = {{0, 0, 0, 0, 0x80}, {7, 0, 0, 0, 0x01}, {9, 0, 0, 1, 0x40},
                            {9, 1, 0, 3, 0x40}, {10, 0, 3, 0, 0},   {-1, 0, 3, 0, 0},
                            {0, 2, 3, 0, 0},    {0, -1, 3, 0, 0}};
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 10, 2, filling), 0);
    EXPECT_EQ(blockOf(bitmap), Bytes(4, 0));
    for (const auto& [x, y, code, byte, mask] : cases) {
        for (const std::uint8_t ground : {0x00, 0xFF}) {
            std::memset(bitmap.data, ground, 4);
            ASSERT_EQ(monoSetPixel(&bitmap, x, y, ground == 0 ? -7 : 0), code);
            Bytes expected(4, ground);
            expected[std::size_t(byte)] = std::uint8_t(ground ^ mask);
            EXPECT_EQ(blockOf(bitmap), expected) << x << ", " << y;
            EXPECT_EQ(monoGetPixel(&bitmap, x, y), code == 0 && ground == 0 ? 1 : 0);
        }
    }
    std::FILE* sink = std::fopen("/dev/null", "w");
    EXPECT_EQ(monoWriteWbmp(nullptr, sink), 1);
    EXPECT_EQ(monoWriteWbmp(&bitmap, nullptr), 3);
    EXPECT_EQ(monoSetPixel(nullptr, 0, 0, 1), 1);
    ASSERT_EQ(monoFree(&bitmap, std::free), 0);
    EXPECT_EQ(monoWriteWbmp(&bitmap, sink), 2);
    EXPECT_EQ(monoWriteWbmpHeader(1, 1, nullptr), 3);
    std::fclose(sink);
    EXPECT_EQ(monoSetPixel(&bitmap, 99, 1, 1), 2);  // the block is tested before the bounds
    EXPECT_EQ(monoFree(&bitmap, std::free), 2);
    EXPECT_EQ(monoFree(nullptr, std::free), 1);
    EXPECT_EQ(std::tie(bitmap.width, bitmap.height, bitmap.dataSize), std::tuple(10, 2, 4));
}

TEST(MonoBitmap, HeadersWithNumbersInTheFewestBytes) {
    // clang-format off
    const std::tuple<std::int32_t, std::int32_t, std::int32_t, Bytes> cases[] = {
        {0, 1, 1, {}}, {1, 0, 2, {}}, {127, 128, 0, {0, 0, 0x7F, 0x81, 0x00}},
        {16384, INT32_MAX, 0, {0, 0, 0x81, 0x80, 0x00, 0x87, 0xFF, 0xFF, 0xFF, 0x7F}}};
    // clang-format on
    for (const auto& [width, height, result, bytes] : cases) {
        char* buffer = nullptr;
        std::size_t size = 0;
        std::FILE* stream = open_memstream(&buffer, &size);
        EXPECT_EQ(monoWriteWbmpHeader(width, height, stream), result);
        std::fclose(stream);
        EXPECT_EQ(Bytes(buffer, buffer + size), bytes);
        std::free(buffer);
    }
}

TEST(MonoBitmap, ReaderResultsInOrder) {
    // A header, then `data` bytes 0xFF; result and sizes. The block holds the data read, cleared
    // past it; a refused block gives 4 once the header is read. Widths 1001, then 2^31 and six
    // bytes long; 2 x 1 shows that the width comes first (1 x 2 would want 2 bytes).
    // clang-format off
    const std::tuple<Bytes, int, std::int32_t, std::int32_t, std::int32_t> cases[] = {
        {{}, 0, 1, 0, 0}, {{1, 0, 1, 1}, 1, 1, 0, 0}, {{0}, 0, 2, 0, 0}, {{0, 1, 1, 1}, 1, 2, 0, 0},
        {{0, 0}, 0, 3, 0, 0}, {{0, 0, 5}, 0, 3, 0, 0}, {{0, 0, 0, 1}, 1, 3, 0, 0},
        {{0, 0, 1, 0}, 1, 3, 0, 0}, {{0, 0, 0x87, 0x69, 1}, 126, 3, 0, 0},
        {{0, 0, 1, 0x87, 0x69}, 1001, 3, 0, 0}, {{0, 0, 0x88, 0x80, 0x80, 0x80, 0x00, 1}, 1, 3, 0, 0},
        {{0, 0, 0x80, 0x80, 0x80, 0x80, 0x80, 1, 1}, 1, 3, 0, 0}, {{0, 0, 10, 2}, 2, 5, 10, 2},
        {{0, 0, 0x80, 0x80, 0x80, 0x80, 1, 1}, 1, 0, 1, 1}, {{0, 0, 2, 1}, 1, 0, 2, 1},
        {{0, 0, 0x87, 0x68, 1}, 125, 0, 1000, 1}, {{0, 0, 1, 0x87, 0x68}, 1000, 0, 1, 1000}};
    // clang-format on
    for (const auto& [head, data, code, width, height] : cases) {
        Bytes block(std::size_t(data), 0xFF);
        block.resize(code == 0 || code == 5 ? std::size_t((width + 7) / 8 * height) : 0, 0);
        for (const MonoAllocateFn allocate : {filling, refusing}) {
            Bytes file = head;
            file.resize(file.size() + std::size_t(data) + 1, 0xFF);  // fmemopen wants a byte more
            std::FILE* stream = fmemopen(file.data(), file.size() - 1, "r");
            MonoBitmap bitmap{};
            const std::int32_t result = monoReadWbmp(&bitmap, stream, allocate);
            std::fclose(stream);
            const Bytes read = blockOf(bitmap);
            monoFree(&bitmap, std::free);
            const bool refused = allocate == refusing && !block.empty();
            EXPECT_EQ(std::tuple(result, read),
                      std::tuple(refused ? 4 : code, refused ? Bytes{} : block))
                << testing::PrintToString(head);
            EXPECT_EQ(std::tie(bitmap.width, bitmap.height),
                      block.empty() ? std::tuple(0, 0) : std::tuple(width, height));
        }
    }
}

}  // namespace
