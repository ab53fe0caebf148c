// Fuzz target for the WBMP reader: monoReadWbmp on arbitrary bytes. When a bitmap is read, it is
// written and read back: the second reading must give the same bitmap and the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "mono/mono_bitmap.h"

namespace {

std::FILE* openInput(const std::uint8_t* data, std::size_t size) {
    static std::uint8_t none = 0;  // fmemopen wants a buffer even for an empty stream
    void* buffer = size == 0 ? &none : const_cast<std::uint8_t*>(data);
    return fmemopen(buffer, size, "rb");
}

std::vector<std::uint8_t> writeToMemory(const MonoBitmap& bitmap) {
    char* buffer = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&buffer, &length);
    FUZZ_CHECK(out != nullptr);
    FUZZ_CHECK(monoWriteWbmp(&bitmap, out) == 0);
    FUZZ_CHECK(std::fclose(out) == 0);
    std::vector<std::uint8_t> bytes(buffer, buffer + length);
    std::free(buffer);
    return bytes;
}

std::size_t multiByteLength(std::int32_t value) {
    std::size_t length = 1;
    for (; value > 127; value >>= 7)
        ++length;
    return length;
}

void checkShape(const MonoBitmap& bitmap) {
    FUZZ_CHECK(bitmap.width >= wbmpReadMinSide && bitmap.width <= wbmpReadMaxSide);
    FUZZ_CHECK(bitmap.height >= wbmpReadMinSide && bitmap.height <= wbmpReadMaxSide);
    FUZZ_CHECK(bitmap.bytesPerRow == (bitmap.width + 7) / 8);
    FUZZ_CHECK(bitmap.dataSize == bitmap.bytesPerRow * bitmap.height);
    FUZZ_CHECK(bitmap.data != nullptr);
}

void checkRoundTrip(const MonoBitmap& bitmap, const std::uint8_t* imageData) {
    const auto dataSize = static_cast<std::size_t>(bitmap.dataSize);
    FUZZ_CHECK(std::memcmp(bitmap.data, imageData, dataSize) == 0);

    const std::vector<std::uint8_t> written = writeToMemory(bitmap);
    FUZZ_CHECK(written.size() ==
               2 + multiByteLength(bitmap.width) + multiByteLength(bitmap.height) + dataSize);
    FUZZ_CHECK(written[0] == 0 && written[1] == 0);
    FUZZ_CHECK(std::memcmp(written.data() + written.size() - dataSize, imageData, dataSize) == 0);

    std::FILE* in = openInput(written.data(), written.size());
    FUZZ_CHECK(in != nullptr);
    MonoBitmap again{};
    FUZZ_CHECK(monoReadWbmp(&again, in, std::malloc) == 0);
    FUZZ_CHECK(std::fgetc(in) == EOF);  // the whole file was the bitmap
    std::fclose(in);
    FUZZ_CHECK(again.width == bitmap.width && again.height == bitmap.height);
    FUZZ_CHECK(again.bytesPerRow == bitmap.bytesPerRow && again.dataSize == bitmap.dataSize);
    FUZZ_CHECK(std::memcmp(again.data, bitmap.data, dataSize) == 0);
    FUZZ_CHECK(writeToMemory(again) == written);
    FUZZ_CHECK(monoFree(&again, std::free) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* in = openInput(data, size);
    FUZZ_CHECK(in != nullptr);
    MonoBitmap bitmap{};
    const std::int32_t rc = monoReadWbmp(&bitmap, in, std::malloc);
    const long consumed = std::ftell(in);
    std::fclose(in);
    FUZZ_CHECK(rc >= 0 && rc <= 5);
    FUZZ_CHECK(consumed >= 0 && static_cast<std::size_t>(consumed) <= size);
    // The header takes at most 12 bytes: two zero bytes and two numbers of at most five bytes.
    const std::size_t imageBytes =
        rc == 0 || rc == 5 ? static_cast<std::size_t>(bitmap.dataSize) : std::size_t{0};
    FUZZ_CHECK(static_cast<std::size_t>(consumed) <= 12 + imageBytes);
    if (rc == 0 || rc == 5) {
        checkShape(bitmap);
    } else {
        FUZZ_CHECK(bitmap.data == nullptr);
    }
    if (rc == 0) {
        const auto dataSize = static_cast<std::size_t>(bitmap.dataSize);
        FUZZ_CHECK(static_cast<std::size_t>(consumed) >= 4 + dataSize);
        checkRoundTrip(bitmap, data + consumed - static_cast<long>(dataSize));
    }
    if (rc == 5) FUZZ_CHECK(size - static_cast<std::size_t>(consumed) == 0);
    if (bitmap.data != nullptr) FUZZ_CHECK(monoFree(&bitmap, std::free) == 0);
    return 0;
}
