// MonoBitmap: a black-and-white picture packed one bit per pixel, and the WBMP (type 0) format.
//
// Rows are padded to whole bytes (bytesPerRow = (width + 7) / 8); pixel (x, y) is the bit
// bitMask[x % 8] of byte y * bytesPerRow + x / 8, so the leftmost pixel of a byte is its most
// significant bit. By the WBMP convention a set bit is white. Padding bits stay 0.
//
// WBMP type 0: byte 0, byte 0, width and height as multi-byte integers (7 bits a byte, most
// significant group first, bit 7 set on every byte but the last), then the rows, top first.
//
// The module never chooses where memory comes from (the caller passes the allocation and
// release functions) and never opens or closes files (it uses the FILE it is handed).
// Every result below is a plain code; the tests are made in the order listed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct MonoBitmap {
    std::int32_t width;
    std::int32_t height;
    std::int32_t bytesPerRow;
    std::int32_t dataSize;
    std::uint8_t* data;
};

using MonoAllocateFn = void* (*)(std::size_t size);  // a block of at least `size` bytes, or null
using MonoReleaseFn = void (*)(void* block);         // releases a block the allocator returned

inline constexpr std::uint8_t bitMask[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

// The reader's size limits, in pixels on each axis.
inline constexpr std::int32_t wbmpReadMinSide = 1;
inline constexpr std::int32_t wbmpReadMaxSide = 1000;

// Creates a cleared width x height bitmap. Results: 1 null bitmap, 2 width <= 0, 3 height <= 0
// (record untouched in 1-3), 4 the block was refused, width + 7 or dataSize does not fit 32 bits
// (sizes stored, dataSize 0 when it does not fit, data null); 0 created.
std::int32_t monoCreate(MonoBitmap* bitmap, std::int32_t width, std::int32_t height,
                        MonoAllocateFn allocate);

// Releases the block. Results: 1 null bitmap, 2 data null (release not called); 0 released,
// data null, sizes kept.
std::int32_t monoFree(MonoBitmap* bitmap, MonoReleaseFn release);

// Sets (value != 0) or clears (value 0) one pixel's bit. Results: 1 null bitmap, 2 data null,
// 3 outside the picture; 0 done. Defined here so that a loop over every pixel can inline it.
inline std::int32_t monoSetPixel(MonoBitmap* bitmap, std::int32_t x, std::int32_t y,
                                 std::int32_t value) {
    if (bitmap == nullptr) return 1;
    if (bitmap->data == nullptr) return 2;
    if (x < 0 || x >= bitmap->width || y < 0 || y >= bitmap->height) return 3;
    std::uint8_t& byte =
        bitmap->data[static_cast<std::size_t>(y) * static_cast<std::size_t>(bitmap->bytesPerRow) +
                     static_cast<std::size_t>(x / 8)];
    const std::uint8_t mask = bitMask[x % 8];
    const std::uint32_t keep = 0u - static_cast<std::uint32_t>(value != 0);  // no branch
    byte = static_cast<std::uint8_t>((byte & ~mask) | (mask & keep));
    return 0;
}

// 1 when the pixel's bit is set; 0 otherwise, and for a null bitmap, null data or a pixel
// outside the picture.
std::int32_t monoGetPixel(const MonoBitmap* bitmap, std::int32_t x, std::int32_t y);

// Writes the bitmap as a WBMP file from the stream's position. Results: 1 null bitmap, 2 data
// null, 3 null stream (nothing written in 1-3); 0 written. Write errors are left in the
// stream's error indicator for the caller to check.
std::int32_t monoWriteWbmp(const MonoBitmap* bitmap, std::FILE* stream);

// Writes the header of a width x height WBMP file from the stream's position: the type 0, the
// fixed header 0, then width and height as multi-byte integers; its rows, bytesPerRow bytes each,
// follow it. Results: 1 width < 1, 2 height < 1, 3 null stream (nothing written in 1-3); 0
// written. Write errors are left in the stream's error indicator for the caller to check.
std::int32_t monoWriteWbmpHeader(std::int32_t width, std::int32_t height, std::FILE* stream);

// Reads a WBMP file into `bitmap` (an empty or released record). Results: 1 first byte not 0
// (or end of stream, or a null stream), 2 second byte not 0 (or end), 3 a bad width or height:
// outside 1 to 1000, a malformed number (see readMultiByteInt) or the stream's end inside one,
// 4 monoCreate refused, 5 fewer than dataSize bytes of image data (block kept for the caller to
// release); 0 read. Reading stops at the first fault, so a header takes at most 12 bytes.
std::int32_t monoReadWbmp(MonoBitmap* bitmap, std::FILE* stream, MonoAllocateFn allocate);

// Reads a WBMP header (the two zero bytes, width, height) with the caller's limits; both numbers
// are read before the sizes are checked. Results: 1 first byte not 0 (or end of stream, or a
// null stream or output), 2 second byte not 0 (or end), 3 a malformed number, 4 the stream
// ended inside the width or the height, 5 a side outside 1 to maxSide or width x height above
// maxPixels (sizes stored); 0 read (sizes stored).
std::int32_t monoReadWbmpHeader(std::FILE* stream, std::int32_t maxSide, std::int64_t maxPixels,
                                std::int32_t* width, std::int32_t* height);

// Creates `bitmap` (an empty or released record), width x height, and fills it with the image
// data that follows a header. Results: 1 monoCreate refused, 2 fewer than dataSize bytes (block
// kept for the caller to release); 0 read.
std::int32_t monoReadWbmpData(MonoBitmap* bitmap, std::FILE* stream, std::int32_t width,
                              std::int32_t height, MonoAllocateFn allocate);

// Writes value (0 or more) as a multi-byte integer in the fewest bytes.
void writeMultiByteInt(std::FILE* stream, std::int32_t value);

// Recursive worker of writeMultiByteInt: writes the groups above the low 7 bits with the
// continuation flag 0x80, then the low 7 bits ORed with `flag`.
void writeMultiByteGroups(std::FILE* stream, std::int32_t value, std::int32_t flag);

// Reads a multi-byte integer into *value (not null). Results: 1 the stream ended before the
// last group, 2 malformed: a fifth byte that still has the continuation flag (a number longer
// than five bytes), or a value above 2^31 - 1; reading stops at the byte that shows it, so at
// most five bytes are taken; 0 read. *value is set only for 0.
std::int32_t readMultiByteInt(std::FILE* stream, std::int32_t* value);
