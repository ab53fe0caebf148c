// Fuzz target for the WBMP reader: monoReadWbmp answers 0 to 5 and reads at most a 12-byte header
// and the image data; a bitmap it keeps has sides of 1 to 1000, the format's row layout and the
// input's image bytes. A bitmap read whole is written as a file of the WBMP size, which read back
// to its end gives the same bitmap.
#include <cstring>

#include "fuzz_support.h"
#include "mono/mono_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MonoBitmap bitmap{}, again{};
    std::FILE* in = openBytes(data, size);
    const std::int32_t rc = monoReadWbmp(&bitmap, in, std::malloc);
    const auto consumed = std::size_t(std::ftell(in));
    std::fclose(in);
    // 5: the image data ended early; 4 (refused) never comes from malloc at 125,000 bytes. A
    // header is two zero bytes and two numbers of at most 5 bytes.
    const bool kept = rc == 0 || rc == 5;
    const std::size_t dataSize = kept ? std::size_t(bitmap.dataSize) : 0;
    FUZZ_CHECK(rc >= 0 && rc <= 5 && rc != 4 && kept == (bitmap.data != nullptr) &&
               consumed <= size && consumed <= 12 + dataSize);
    if (!kept) return 0;
    FUZZ_CHECK(std::min(bitmap.width, bitmap.height) >= wbmpReadMinSide &&
               std::max(bitmap.width, bitmap.height) <= wbmpReadMaxSide &&
               bitmap.bytesPerRow == (bitmap.width + 7) / 8 &&
               bitmap.dataSize == bitmap.bytesPerRow * bitmap.height);
    FUZZ_CHECK(rc == 5 ? consumed == size
                       : consumed >= 4 + dataSize &&
                             std::memcmp(bitmap.data, data + consumed - dataSize, dataSize) == 0);
    if (rc == 0) {
        const std::int64_t fileSize = wbmpFileSize(bitmap.width, bitmap.height);
        std::FILE* file = std::tmpfile();
        FUZZ_CHECK(file != nullptr && monoWriteWbmp(&bitmap, file) == 0 &&
                   std::ftell(file) == fileSize && std::fseek(file, 0, SEEK_SET) == 0);
        FUZZ_CHECK(monoReadWbmp(&again, file, std::malloc) == 0 && std::ftell(file) == fileSize &&
                   again.width == bitmap.width && again.height == bitmap.height &&
                   std::memcmp(again.data, bitmap.data, dataSize) == 0);
        FUZZ_CHECK(std::fclose(file) == 0 && monoFree(&again, std::free) == 0);
    }
    FUZZ_CHECK(monoFree(&bitmap, std::free) == 0);
    return 0;
}
