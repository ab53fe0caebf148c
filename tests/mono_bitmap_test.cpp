// MonoBitmap: creation through injected allocators, pixel access, the multi-byte integers and
// the WBMP writer and reader, including damaged and truncated files.
#include "mono/mono_bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <utility>

#include "test_support.h"

namespace {

using testsupport::Bytes;

constexpr std::int32_t int32Max = INT32_MAX;

// Blocks come filled with 0xAA so that a missing clear shows; leaks are left to LeakSanitizer.
const MonoAllocateFn refusingAllocate = [](std::size_t) -> void* { return nullptr; };
const MonoAllocateFn fillingAllocate = [](std::size_t size) -> void* {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) std::memset(block, 0xAA, size);
    return block;
};
const MonoReleaseFn release = [](void* block) { std::free(block); };

std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t> sizesOf(const MonoBitmap& b) {
    return {b.width, b.height, b.bytesPerRow, b.dataSize};
}

Bytes blockOf(const MonoBitmap& b) {
    return Bytes(b.data, b.data + b.dataSize);
}

// Everything `write` puts on a memory stream.
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

TEST(MonoBitmap, CreateRefusals) {
    // Codes 1-3 leave the record as it was; 4 stores the sizes (dataSize 0 when it does not fit).
    const std::int32_t widest = (int32Max - 7) / 8;
    // clang-format off
    struct Case { bool nullRecord; std::int32_t width, height, code, bytesPerRow, dataSize; };
    const Case cases[] = {{true, 1, 1, 1, 0, 0}, {false, 0, 1, 2, 0, 0}, {false, 10, -5, 3, 0, 0},
        {false, 10, 2, 4, 2, 4}, {false, 9, int32Max, 4, 2, 0}, {false, int32Max - 6, 1, 4, widest + 1, widest + 1}};
    // clang-format on
    for (const Case& c : cases) {
        std::uint8_t marker = 0;
        MonoBitmap bitmap{-11, -22, -33, -44, &marker};
        EXPECT_EQ(monoCreate(c.nullRecord ? nullptr : &bitmap, c.width, c.height, refusingAllocate),
                  c.code)
            << c.width << " x " << c.height;
        const bool stored = c.code == 4;
        EXPECT_EQ(sizesOf(bitmap),
                  stored ? std::make_tuple(c.width, c.height, c.bytesPerRow, c.dataSize)
                         : std::make_tuple(-11, -22, -33, -44));
        EXPECT_EQ(bitmap.data, stored ? nullptr : &marker);
    }
}

TEST(MonoBitmap, EachPixelIsOneBitMostSignificantFirstAndFreeCodes) {
    // Pixels of a 10 x 2 bitmap on a clear and a full block; outside (padding included): 3.
    // clang-format off
    struct Case { std::int32_t x, y, code; std::size_t byte; std::uint8_t mask; };
    const Case cases[] = {{0, 0, 0, 0, 0x80}, {7, 0, 0, 0, 0x01}, {9, 0, 0, 1, 0x40}, {9, 1, 0, 3, 0x40},
                          {10, 0, 3, 0, 0}, {-1, 0, 3, 0, 0}, {0, 2, 3, 0, 0}, {0, -1, 3, 0, 0}};
    // clang-format on
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 10, 2, fillingAllocate), 0);
    EXPECT_EQ(blockOf(bitmap), Bytes(4, 0));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        for (const std::uint8_t ground : {0x00, 0xFF}) {
            std::memset(bitmap.data, ground, 4);
            ASSERT_EQ(monoSetPixel(&bitmap, c.x, c.y, ground == 0 ? -7 : 0), c.code);
            Bytes expected(4, ground);
            expected[c.byte] = static_cast<std::uint8_t>(ground ^ c.mask);
            EXPECT_EQ(blockOf(bitmap), expected);
            EXPECT_EQ(monoGetPixel(&bitmap, c.x, c.y), c.code == 0 && ground == 0 ? 1 : 0);
        }
    }
    EXPECT_EQ(monoSetPixel(nullptr, 0, 0, 1), 1);
    ASSERT_EQ(monoFree(&bitmap, release), 0);
    EXPECT_EQ(monoSetPixel(&bitmap, 99, 1, 1), 2);  // the block is tested before the bounds
    EXPECT_EQ(monoFree(&bitmap, release), 2);
    EXPECT_EQ(monoFree(nullptr, release), 1);
    EXPECT_EQ(sizesOf(bitmap), std::make_tuple(10, 2, 2, 4));  // kept
}

TEST(MonoBitmap, MultiByteIntegersBothWays) {
    // clang-format off
    const std::pair<std::int32_t, Bytes> cases[] = {{1, {0x01}}, {127, {0x7F}}, {128, {0x81, 0x00}},
        {200, {0x81, 0x48}}, {1000, {0x87, 0x68}}, {16384, {0x81, 0x80, 0x00}},
        {int32Max, {0x87, 0xFF, 0xFF, 0xFF, 0x7F}}};
    // clang-format on
    for (const auto& [value, bytes] : cases) {
        SCOPED_TRACE(value);
        EXPECT_EQ(captureStream([&](std::FILE* s) { writeMultiByteInt(s, value); }), bytes);
        Bytes input = bytes;
        input.push_back(0x55);
        ByteStream in(input);
        std::int32_t read = -1;
        EXPECT_EQ(readMultiByteInt(in.stream, &read), 0);
        EXPECT_EQ(read, value);
        EXPECT_EQ(std::fgetc(in.stream), 0x55);  // the reader stops after the last group
    }
}

TEST(MonoBitmap, MalformedAndCutMultiByteIntegers) {
    // Code, then the byte read next: at most five bytes are taken, and an overflowing group
    // stops the reading at once. Leading zero groups are allowed up to five bytes.
    // clang-format off
    const std::tuple<Bytes, std::int32_t, int> cases[] = {
        {{0x80, 0x80, 0x80, 0x80, 0x01, 0x55}, 0, 0x55},
        {{0x80, 0x80, 0x80, 0x80, 0x81, 0x01}, 2, 0x01},  // a sixth byte would follow
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 2, 0xFF},
        {{0x88, 0x80, 0x80, 0x80, 0x00, 0x55}, 2, 0x55},  // 2^31
        {{0x90, 0x80, 0x80, 0x80, 0x08, 0x08}, 2, 0x08},  // 2^32 + 8
        {{0x81, 0x80, 0x80, 0x80, 0x80, 0x00}, 2, 0x00},  // at least 2^35: no sixth byte read
        {{}, 1, EOF}, {{0x81}, 1, EOF}, {{0x80, 0x80, 0x80, 0x80}, 1, EOF}};
    // clang-format on
    for (const auto& [bytes, code, next] : cases) {
        ByteStream in(bytes);
        std::int32_t value = -1;
        EXPECT_EQ(readMultiByteInt(in.stream, &value), code) << testing::PrintToString(bytes);
        EXPECT_EQ(value, code == 0 ? 1 : -1);
        EXPECT_EQ(std::fgetc(in.stream), next) << testing::PrintToString(bytes);
    }
}

TEST(MonoBitmap, WriterGoldenBytesAndCodes) {
    // All white 10 x 2; sets on the padding are refused, so the padding stays 0.
    MonoBitmap white{};
    ASSERT_EQ(monoCreate(&white, 10, 2, fillingAllocate), 0);
    for (std::int32_t at = 0; at < 32; ++at)
        monoSetPixel(&white, at % 16, at / 16, 1);
    EXPECT_EQ(wbmpBytes(white), (Bytes{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xC0, 0xFF, 0xC0}));
    EXPECT_EQ(monoWriteWbmp(&white, nullptr), 3);
    monoFree(&white, release);
    const Bytes refused = captureStream([&](std::FILE* s) {
        EXPECT_EQ(monoWriteWbmp(nullptr, s), 1);
        EXPECT_EQ(monoWriteWbmp(&white, s), 2);
    });
    EXPECT_EQ(refused, Bytes{});
}

TEST(MonoBitmap, ReaderCodes) {
    // Type 1, header 1, width 0, width 1001, height 1001; two of four data bytes (the block is
    // kept, the rest clear); width 2^32 + 8, a six-byte height.
    // clang-format off
    const std::pair<Bytes, std::int32_t> cases[] = {{{0x01, 0x00, 0x01, 0x01, 0x80}, 1},
        {{0x00, 0x01, 0x01, 0x01, 0x80}, 2}, {{0x00, 0x00, 0x00, 0x01, 0x80}, 3},
        {{0x00, 0x00, 0x87, 0x69, 0x01, 0x80}, 3}, {{0x00, 0x00, 0x01, 0x87, 0x69, 0x80}, 3},
        {{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xC0}, 5}, {{0x00, 0x00, 0x90, 0x80, 0x80, 0x80, 0x08, 0x08}, 3},
        {{0x00, 0x00, 0x08, 0x80, 0x80, 0x80, 0x80, 0x88, 0x00}, 3}};
    // clang-format on
    for (const auto& [bytes, code] : cases) {
        MonoBitmap bitmap{};
        ByteStream in(bytes);
        EXPECT_EQ(monoReadWbmp(&bitmap, in.stream, fillingAllocate), code);
        EXPECT_EQ(bitmap.data ? blockOf(bitmap) : Bytes(),
                  code == 5 ? Bytes({0xFF, 0xC0, 0, 0}) : Bytes());
        monoFree(&bitmap, release);
    }
    MonoBitmap bitmap{};
    ByteStream refused(Bytes{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xC0, 0xFF, 0xC0});
    EXPECT_EQ(monoReadWbmp(&bitmap, refused.stream, refusingAllocate), 4);
}

// Reads `file` and returns the code; the block must be there exactly for codes 0 and 5.
std::int32_t readChecked(const Bytes& file, Bytes* block = nullptr) {
    ByteStream in(file);
    MonoBitmap bitmap{};
    const std::int32_t code = monoReadWbmp(&bitmap, in.stream, fillingAllocate);
    EXPECT_EQ(bitmap.data != nullptr, code == 0 || code == 5) << code;
    if (block != nullptr && bitmap.data != nullptr) *block = blockOf(bitmap);
    monoFree(&bitmap, release);
    return code;
}

TEST(MonoBitmap, ReadBackAndEveryCutAndFlippedBitGiveDefinedCodes) {
    // Both sizes take two bytes; neighbouring rows differ.
    MonoBitmap bitmap{};
    ASSERT_EQ(monoCreate(&bitmap, 130, 129, fillingAllocate), 0);
    for (std::int32_t at = 0; at < 130 * 129; ++at)
        monoSetPixel(&bitmap, at % 130, at / 130, (at * 7 + at / 130 * 3 + at * at) % 5 < 2);
    const Bytes file = wbmpBytes(bitmap);
    Bytes copy;
    EXPECT_EQ(readChecked(file, &copy), 0);
    EXPECT_EQ(copy, blockOf(bitmap));
    monoFree(&bitmap, release);
    for (std::size_t length = 0; length < file.size(); ++length) {
        const std::int32_t expected = length < 2 ? std::int32_t(length) + 1 : length <= 5 ? 3 : 5;
        EXPECT_EQ(readChecked(Bytes(file.begin(), file.begin() + std::ptrdiff_t(length))), expected)
            << "cut at " << length;
    }
    for (std::size_t at = 0; at < file.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes damaged = file;
            damaged[at] = static_cast<std::uint8_t>(damaged[at] ^ (1u << bit));
            const std::int32_t code = readChecked(damaged);
            // Header bytes give 1 and 2, the data is taken as it comes, sizes may go either way.
            EXPECT_TRUE(at < 2    ? code == std::int32_t(at) + 1
                        : at >= 6 ? code == 0
                                  : code == 0 || code == 3 || code == 5)
                << at << ", bit " << bit << ": " << code;
        }
    }
}

}  // namespace
