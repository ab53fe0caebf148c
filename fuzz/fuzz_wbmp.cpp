// Fuzz target for the WBMP reader: monoReadWbmp on arbitrary bytes. It answers 0 to 5 and reads
// no more than a header of at most 12 bytes and the image data; a bitmap it keeps has sides of
// 1 to 1000 and the row layout of the format. A bitmap read whole holds the image bytes of the
// input and is written and read back: the writing is the header the format gives for its size
// followed by those bytes, and the second reading consumes all of it and gives the same bitmap.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "mono/mono_bitmap.h"

namespace {

// monoReadWbmp on the bytes; *consumed receives how many bytes it read.
std::int32_t readWbmp(MonoBitmap* bitmap, std::string_view bytes, std::size_t* consumed) {
    static char none = 0;  // fmemopen wants a buffer even for an empty stream
    std::FILE* in =
        fmemopen(bytes.empty() ? &none : const_cast<char*>(bytes.data()), bytes.size(), "rb");
    FUZZ_CHECK(in != nullptr);
    const std::int32_t rc = monoReadWbmp(bitmap, in, std::malloc);
    *consumed = static_cast<std::size_t>(std::ftell(in));
    std::fclose(in);
    return rc;
}

std::string writeWbmp(const MonoBitmap& bitmap) {
    char* buffer = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&buffer, &length);
    FUZZ_CHECK(out != nullptr && monoWriteWbmp(&bitmap, out) == 0 && std::fclose(out) == 0);
    std::string bytes(buffer, length);
    std::free(buffer);
    return bytes;
}

void checkRoundTrip(const MonoBitmap& bitmap, std::string_view imageData) {
    const auto dataSize = static_cast<std::size_t>(bitmap.dataSize);
    FUZZ_CHECK(std::string_view(reinterpret_cast<const char*>(bitmap.data), dataSize) == imageData);
    const std::string written = writeWbmp(bitmap);
    FUZZ_CHECK(std::int64_t(written.size()) == wbmpFileSize(bitmap.width, bitmap.height));
    FUZZ_CHECK(written.starts_with(std::string_view("\0\0", 2)) && written.ends_with(imageData));
    MonoBitmap again{};
    std::size_t consumed = 0;
    FUZZ_CHECK(readWbmp(&again, written, &consumed) == 0 && consumed == written.size());
    FUZZ_CHECK(writeWbmp(again) == written && monoFree(&again, std::free) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    MonoBitmap bitmap{};
    std::size_t consumed = 0;
    const std::int32_t rc = readWbmp(&bitmap, input, &consumed);
    const bool kept = rc == 0 || rc == 5;  // 5: the image data ended early
    FUZZ_CHECK(rc >= 0 && rc <= 5 && consumed <= size && kept == (bitmap.data != nullptr));
    const auto dataSize = kept ? static_cast<std::size_t>(bitmap.dataSize) : std::size_t{0};
    FUZZ_CHECK(consumed <= 12 + dataSize);  // two zero bytes, two numbers of at most 5 bytes
    if (kept) {
        FUZZ_CHECK(bitmap.width >= wbmpReadMinSide && bitmap.width <= wbmpReadMaxSide);
        FUZZ_CHECK(bitmap.height >= wbmpReadMinSide && bitmap.height <= wbmpReadMaxSide);
        FUZZ_CHECK(bitmap.bytesPerRow == (bitmap.width + 7) / 8);
        FUZZ_CHECK(bitmap.dataSize == bitmap.bytesPerRow * bitmap.height);
        FUZZ_CHECK(rc == 5 ? consumed == size : consumed >= 4 + dataSize);
    }
    if (rc == 0) checkRoundTrip(bitmap, input.substr(consumed - dataSize, dataSize));
    if (kept) FUZZ_CHECK(monoFree(&bitmap, std::free) == 0);
    return 0;
}
