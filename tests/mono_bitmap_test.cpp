// MonoBitmap and WBMP files: creation through injected allocators, pixel bits, the writers'
// results and multi-byte integers, and the reader's results in the order it tests them.
#include "mono/mono_bitmap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

#include "test_support.h"

namespace {

using testsupport::Bytes;

// Blocks come filled with 0xAA so that a missing clear shows.
const MonoAllocateFn filling = [](std::size_t n) { return std::memset(std::malloc(n), 0xAA, n); };
const MonoAllocateFn refusing = [](std::size_t) -> void* { return nullptr; };

Bytes blockOf(const MonoBitmap& b) {
    return b.data == nullptr ? Bytes{} : Bytes(b.data, b.data + b.dataSize);
}

TEST(MonoBitmap, CreateResults) {
    // width, height, result (1: a null record), bytesPerRow, dataSize; the record is kept in 1-3.
    // clang-format off
    const std::int32_t cases[][5] = {{1, 1, 1}, {0, 1, 2}, {10, -5, 3}, {10, 2, 4, 2, 4},
        {9, INT32_MAX, 4, 2, 0}, {INT32_MAX - 6, 1, 4, INT32_MAX / 8 + 1, INT32_MAX / 8 + 1}};
    // clang-format on
    for (const auto& [width, height, code, bytesPerRow, dataSize] : cases) {
        std::uint8_t marker = 0;
        MonoBitmap bitmap{-1, -2, -3, -4, &marker};
        EXPECT_EQ(monoCreate(code == 1 ? nullptr : &bitmap, width, height, refusing), code);
        EXPECT_EQ(
            std::tie(bitmap.width, bitmap.height, bitmap.bytesPerRow, bitmap.dataSize, bitmap.data),
            code < 4 ? std::tuple(-1, -2, -3, -4, &marker)
                     : std::tuple(width, height, bytesPerRow, dataSize, (std::uint8_t*)nullptr));
    }
}

TEST(MonoBitmap, PixelBitsAndTheResultsOfFreeAndTheWriters) {
    // Pixels of a 10 x 2 bitmap on a clear and a full block: x, y, result, byte, bit; outside
    // (padding included): 3, and the block is left alone.
    // clang-format off
    const int cases[][5] = {{0, 0, 0, 0, 0x80}, {7, 0, 0, 0, 0x01}, {9, 0, 0, 1, 0x40},
        {9, 1, 0, 3, 0x40}, {10, 0, 3}, {-1, 0, 3}, {0, 2, 3}, {0, -1, 3}};
    // clang-format on
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 10, 2, filling), 0);
    for (const auto& [x, y, code, byte, mask] : cases) {
        for (const std::uint8_t ground : {0x00, 0xFF}) {
            std::memset(bitmap.data, ground, 4);
            ASSERT_EQ(monoSetPixel(&bitmap, x, y, ground == 0 ? -7 : 0), code);
            Bytes expected(4, ground);
            expected[std::size_t(byte)] ^= std::uint8_t(mask);
            EXPECT_EQ(std::tuple(blockOf(bitmap), monoGetPixel(&bitmap, x, y)),
                      std::tuple(expected, code == 0 && ground == 0 ? 1 : 0))
                << x << ", " << y;
        }
    }
    // Results in this order (a pixel set after the release: the block is tested before the
    // bounds), then the headers written, with numbers in the fewest bytes.
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* sink = open_memstream(&buffer, &size);
    EXPECT_EQ(
        (std::vector{monoWriteWbmp(nullptr, nullptr), monoWriteWbmp(&bitmap, nullptr),
                     monoSetPixel(nullptr, 0, 0, 1), monoFree(&bitmap, std::free),
                     monoWriteWbmp(&bitmap, sink), monoWriteWbmp(&bitmap, nullptr),
                     monoSetPixel(&bitmap, 99, 1, 1), monoFree(&bitmap, std::free),
                     monoFree(nullptr, std::free), bitmap.width, bitmap.height, bitmap.dataSize,
                     monoWriteWbmpHeader(0, 1, sink), monoWriteWbmpHeader(1, 0, sink),
                     monoWriteWbmpHeader(1, 1, nullptr), monoWriteWbmpHeader(127, 128, sink),
                     monoWriteWbmpHeader(16384, INT32_MAX, sink)}),
        (std::vector{1, 3, 1, 0, 2, 2, 2, 2, 1, 10, 2, 4, 1, 2, 3, 0, 0}));
    std::fclose(sink);
    EXPECT_EQ(Bytes(buffer, buffer + size), (Bytes{0, 0, 0x7F, 0x81, 0x00, 0, 0, 0x81, 0x80, 0x00,
                                                   0x87, 0xFF, 0xFF, 0xFF, 0x7F}));
    std::free(buffer);
}

// A header, then `data` bytes 0xFF; result and sizes. The block holds the data read, cleared past
// it; a refused block gives 4 once the header is read. Widths 1001, then 2^31 and six bytes long;
// 2 x 1 shows that the width comes first (1 x 2 would want 2 bytes).
// clang-format off
const std::tuple<const char*, Bytes, int, std::int32_t, std::int32_t, std::int32_t> kReaderCases[] = {
    {"Empty", {}, 0, 1, 0, 0}, {"TypeNotZero", {1, 0, 1, 1}, 1, 1, 0, 0}, {"NoFixedHeader", {0}, 0, 2, 0, 0},
    {"FixedHeaderNotZero", {0, 1, 1, 1}, 1, 2, 0, 0}, {"NoWidth", {0, 0}, 0, 3, 0, 0}, {"NoHeight", {0, 0, 5}, 0, 3, 0, 0},
    {"ZeroWidth", {0, 0, 0, 1}, 1, 3, 0, 0}, {"ZeroHeight", {0, 0, 1, 0}, 1, 3, 0, 0},
    {"WidthAboveTheLimit", {0, 0, 0x87, 0x69, 1}, 126, 3, 0, 0}, {"HeightAboveTheLimit", {0, 0, 1, 0x87, 0x69}, 1001, 3, 0, 0},
    {"WidthOf2To31", {0, 0, 0x88, 0x80, 0x80, 0x80, 0x00, 1}, 1, 3, 0, 0},
    {"SixByteWidth", {0, 0, 0x80, 0x80, 0x80, 0x80, 0x80, 1, 1}, 1, 3, 0, 0}, {"CutData", {0, 0, 10, 2}, 2, 5, 10, 2},
    {"FiveByteWidth", {0, 0, 0x80, 0x80, 0x80, 0x80, 1, 1}, 1, 0, 1, 1}, {"WidthFirst", {0, 0, 2, 1}, 1, 0, 2, 1},
    {"WidestRead", {0, 0, 0x87, 0x68, 1}, 125, 0, 1000, 1}, {"TallestRead", {0, 0, 1, 0x87, 0x68}, 1000, 0, 1, 1000}};
// clang-format on
TABLE_TEST(MonoBitmapReader, ResultsInOrder, kReaderCases) {
    const auto& [name, head, data, code, width, height] = GetParam();
    Bytes block(std::size_t(data), 0xFF), file = head;
    block.resize(code == 0 || code == 5 ? std::size_t((width + 7) / 8 * height) : 0, 0);
    file.resize(file.size() + std::size_t(data) + 1, 0xFF);  // fmemopen wants a byte more
    for (const MonoAllocateFn allocate : {filling, refusing}) {
        std::FILE* stream = fmemopen(file.data(), file.size() - 1, "r");
        MonoBitmap bitmap{};
        const std::int32_t result = monoReadWbmp(&bitmap, stream, allocate);
        const bool refused = allocate == refusing && !block.empty();
        EXPECT_EQ(std::tuple(result, blockOf(bitmap), bitmap.width, bitmap.height),
                  std::tuple(refused ? 4 : code, refused ? Bytes{} : block, width, height));
        std::fclose(stream);
        monoFree(&bitmap, std::free);
    }
}

}  // namespace
