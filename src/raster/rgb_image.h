// RgbImage: the 24-bit raster that every stage of the conversion hands on.
//
// One heap block per image: `height` row pointers, then the rows, top row first, each
// (width + fill) * 3 bytes of red, green, blue. `status` is 0 for a valid image that owns its
// block; a failing step assigns or adds its own bit (catalogue below) and the image is then
// never read, written or released. The record has no constructor: it lives on the stack of the
// function that uses it, and copying its four fields hands the block over to the copy.
#pragma once

#include <cstddef>
#include <cstdint>

struct RgbImage {
    std::int32_t status;
    std::int32_t width;
    std::int32_t height;
    std::uint8_t** rows;
};

// Extra pixels per row are rowAlignment - width % rowAlignment (none when it divides width,
// none when it is 0). Nothing changes it: rows are exactly 3 * width bytes.
inline constexpr std::int32_t rowAlignment = 0;

// Largest pixel block an image may ask for (row pointers included, 1 GiB); a larger one is
// refused like a heap refusal. An enlargement whose raster would pass it is refused by the same
// rule (enlargedSize), although the enlargement is made row by row and never stored whole; every
// enlargement a conversion can complete stays within it (the reduction's edge products hold it
// to about 277 million pixels, 830 MB, from a source of up to 65,535 pixels a side).
inline constexpr std::size_t rgbImageMaxBytes = std::size_t{1} << 30;

// Every status bit the program puts into an image. "assigned" replaces the whole word,
// "added" keeps the bits already there.
inline constexpr std::int32_t statusAllocRefused = 0x1;              // rgbImageAlloc, assigned
inline constexpr std::int32_t statusReduceBadSource = 0x4000;        // reduceImage, assigned
inline constexpr std::int32_t statusReduceAllocFailed = 0x8000;      // reduceImage, added
inline constexpr std::int32_t statusEnlargeBadSource = 0x40000;      // enlargeImage, assigned
inline constexpr std::int32_t statusEnlargeAllocFailed = 0x80000;    // enlargeImage, added
inline constexpr std::int32_t statusResizeBadSource = 0x100000;      // resizeImage, assigned
inline constexpr std::int32_t statusResizeBadSize = 0x200000;        // resizeImage, assigned
inline constexpr std::int32_t statusResizeEnlargeFailed = 0x400000;  // resizeImage, assigned
inline constexpr std::int32_t statusResizeReduceFailed = 0x800000;   // resizeImage, added
inline constexpr std::int32_t statusLoadAllocFailed = 0x8000000;     // rasterSizeCallback, added
inline constexpr std::int32_t statusLoadFailed = 0x10000000;         // loadGifImage, added

// Fill pixels per row for a width under an alignment (in pixels; 0 means none).
std::int32_t rgbImageRowFill(std::int32_t width, std::int32_t alignment);

// The layout of a width x height block (neither negative) with rows padded for `alignment`:
// bytes per row, bytes of the row pointers, and the whole block. Returns false when the block's
// size does not fit or exceeds rgbImageMaxBytes.
struct RgbImageLayout {
    std::size_t rowBytes;
    std::size_t pointerBytes;
    std::size_t blockBytes;
};
bool rgbImageLayout(std::int32_t width, std::int32_t height, std::int32_t alignment,
                    RgbImageLayout* layout);

// Sets up `image` as width x height (neither negative) with rows padded for `alignment`.
// Stores width and height first. Results: 1 block refused (or too large to size), status 1,
// rows null; 0 allocated, status 0. The pixel bytes are not cleared.
std::int32_t rgbImageAllocAligned(RgbImage* image, std::int32_t width, std::int32_t height,
                                  std::int32_t alignment);

// rgbImageAllocAligned with the module's rowAlignment.
std::int32_t rgbImageAlloc(RgbImage* image, std::int32_t width, std::int32_t height);

// Releases the block of a valid image and nulls `rows`; does nothing when status is nonzero or
// rows is already null. width, height and status are left as they are.
void rgbImageFree(RgbImage* image);
