// The packed black-and-white bitmap and the WBMP type 0 file format.
#include "mono/mono_bitmap.h"

#include <cstring>
#include <limits>

#include "util/checked.h"

namespace {

// The widest bitmap: (width + 7) / 8 must be computable in 32 bits.
constexpr std::int32_t maxWidth = std::numeric_limits<std::int32_t>::max() - 7;

bool insidePicture(const MonoBitmap* bitmap, std::int32_t x, std::int32_t y) {
    return x >= 0 && x < bitmap->width && y >= 0 && y < bitmap->height;
}

std::size_t byteIndex(const MonoBitmap* bitmap, std::int32_t x, std::int32_t y) {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(bitmap->bytesPerRow) +
           static_cast<std::size_t>(x / 8);
}

// The largest multi-byte integer read, and the most bytes it may take (5 x 7 bits cover 31).
constexpr std::int32_t multiByteMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t multiByteMaxLength = 5;

// One byte from the stream, or -1 at its end.
int readByte(std::FILE* stream) {
    return std::fgetc(stream);
}

// The type, the fixed header and the two sides.
void writeHeader(std::int32_t width, std::int32_t height, std::FILE* stream) {
    std::fputc(0, stream);  // type 0
    std::fputc(0, stream);  // fixed header: no extension headers
    writeMultiByteInt(stream, width);
    writeMultiByteInt(stream, height);
}

}  // namespace

std::int32_t monoCreate(MonoBitmap* bitmap, std::int32_t width, std::int32_t height,
                        MonoAllocateFn allocate) {
    if (bitmap == nullptr) return 1;
    if (width <= 0) return 2;
    if (height <= 0) return 3;

    // Sizes that do not fit are refused like a heap refusal. The row size is formed without
    // width + 7, so the sizes stored are exact; a dataSize beyond 32 bits is stored as 0.
    const std::int32_t bytesPerRow = width / 8 + (width % 8 != 0 ? 1 : 0);
    const bool sizeFits = mulFits32(bytesPerRow, height);
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bytesPerRow = bytesPerRow;
    bitmap->dataSize = sizeFits ? bytesPerRow * height : 0;
    bitmap->data = nullptr;
    if (width > maxWidth) return 4;
    if (!sizeFits) return 4;

    const std::int32_t dataSize = bitmap->dataSize;
    void* block = allocate(static_cast<std::size_t>(dataSize));
    if (block == nullptr) return 4;
    bitmap->data = static_cast<std::uint8_t*>(block);
    std::memset(bitmap->data, 0, static_cast<std::size_t>(dataSize));
    return 0;
}

std::int32_t monoFree(MonoBitmap* bitmap, MonoReleaseFn release) {
    if (bitmap == nullptr) return 1;
    if (bitmap->data == nullptr) return 2;
    release(bitmap->data);
    bitmap->data = nullptr;
    return 0;
}

std::int32_t monoGetPixel(const MonoBitmap* bitmap, std::int32_t x, std::int32_t y) {
    if (bitmap == nullptr || bitmap->data == nullptr || !insidePicture(bitmap, x, y)) return 0;
    return (bitmap->data[byteIndex(bitmap, x, y)] & bitMask[x % 8]) != 0 ? 1 : 0;
}

std::int32_t monoWriteWbmp(const MonoBitmap* bitmap, std::FILE* stream) {
    if (bitmap == nullptr) return 1;
    if (bitmap->data == nullptr) return 2;
    if (stream == nullptr) return 3;
    writeHeader(bitmap->width, bitmap->height, stream);
    std::fwrite(bitmap->data, 1, static_cast<std::size_t>(bitmap->dataSize), stream);
    return 0;
}

std::int32_t monoWriteWbmpHeader(std::int32_t width, std::int32_t height, std::FILE* stream) {
    if (width < 1) return 1;
    if (height < 1) return 2;
    if (stream == nullptr) return 3;
    writeHeader(width, height, stream);
    return 0;
}

std::int32_t monoReadWbmp(MonoBitmap* bitmap, std::FILE* stream, MonoAllocateFn allocate) {
    std::int32_t width = 0;
    std::int32_t height = 0;
    const std::int32_t header = monoReadWbmpHeader(
        stream, wbmpReadMaxSide, std::int64_t{wbmpReadMaxSide} * wbmpReadMaxSide, &width, &height);
    if (header != 0) return header <= 2 ? header : 3;
    const std::int32_t data = monoReadWbmpData(bitmap, stream, width, height, allocate);
    return data == 0 ? 0 : data + 3;
}

std::int32_t monoReadWbmpHeader(std::FILE* stream, std::int32_t maxSide, std::int64_t maxPixels,
                                std::int32_t* width, std::int32_t* height) {
    if (stream == nullptr || width == nullptr || height == nullptr) return 1;
    if (readByte(stream) != 0) return 1;
    if (readByte(stream) != 0) return 2;
    std::int32_t readWidth = 0;
    std::int32_t readHeight = 0;
    std::int32_t rc = readMultiByteInt(stream, &readWidth);
    if (rc == 0) rc = readMultiByteInt(stream, &readHeight);
    if (rc != 0) return rc == 2 ? 3 : 4;
    *width = readWidth;
    *height = readHeight;
    if (readWidth < wbmpReadMinSide || readWidth > maxSide) return 5;
    if (readHeight < wbmpReadMinSide || readHeight > maxSide) return 5;
    if (std::int64_t{readWidth} * readHeight > maxPixels) return 5;
    return 0;
}

std::int32_t monoReadWbmpData(MonoBitmap* bitmap, std::FILE* stream, std::int32_t width,
                              std::int32_t height, MonoAllocateFn allocate) {
    if (monoCreate(bitmap, width, height, allocate) != 0) return 1;
    const auto wanted = static_cast<std::size_t>(bitmap->dataSize);
    if (std::fread(bitmap->data, 1, wanted, stream) != wanted) return 2;
    return 0;
}

void writeMultiByteInt(std::FILE* stream, std::int32_t value) {
    writeMultiByteGroups(stream, value, 0);
}

void writeMultiByteGroups(std::FILE* stream, std::int32_t value, std::int32_t flag) {
    if (value > 127) writeMultiByteGroups(stream, value >> 7, 0x80);
    std::fputc((value & 0x7F) | flag, stream);
}

std::int32_t readMultiByteInt(std::FILE* stream, std::int32_t* value) {
    std::int32_t result = 0;
    for (std::int32_t count = 1;; ++count) {
        const int byte = readByte(stream);
        if (byte == EOF) return 1;
        if (result > (multiByteMax >> 7)) return 2;  // a further group would pass 2^31 - 1
        result = (result << 7) | (byte & 0x7F);
        if ((byte & 0x80) == 0) break;
        if (count == multiByteMaxLength) return 2;
    }
    *value = result;
    return 0;
}
