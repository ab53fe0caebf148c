// GIF loading: libgd decodes the file, the picture is handed out through callbacks.
//
// loadGifRaster knows nothing of the raster type: it calls onSize once, onPixel once per pixel
// in row order (top row first, each row from the left), then onEnd. loadGifImage binds it to an
// RgbImage. Transparency, interlacing and the colour count are not looked at: a pixel gets the
// red, green and blue of its palette entry. Only the first image of the file is read.
#pragma once

#include <cstdint>
#include <cstdio>

#include "raster/rgb_image.h"

using GifSizeCallback = void (*)(void* userData, std::int32_t width,
                                 std::int32_t height);  // once, before any pixel
using GifPixelCallback = void (*)(void* userData, std::int32_t x, std::int32_t y, std::int32_t red,
                                  std::int32_t green,
                                  std::int32_t blue);  // once per pixel, components 0-255
using GifEndCallback = void (*)(void* userData);       // once, after the last pixel

inline constexpr std::int32_t gifLoadCannotOpen = 1;
inline constexpr std::int32_t gifLoadNoImage = 2;
inline constexpr std::int32_t gifLoadSizeRefused = 3;

// Largest picture handed out, in pixels (16 Mi, for instance 4096 x 4096 or 65535 x 256): a
// conversion at that size takes 18 MB at its own size, up to about 35 MB resized. Larger pictures
// are refused before libgd allocates anything for them, so that a small damaged file announcing a
// huge picture fails at once instead of costing up to 2^31 pixels of decoding, walking and
// dithering.
inline constexpr std::int64_t gifMaxPixels = std::int64_t{1} << 24;

// Most bytes read from a GIF up to the end of its first image (32 MiB). The largest picture
// within the ceiling takes at most 12 bits a pixel of LZW codes (24 MiB) plus one length byte
// every 255 bytes; the rest, almost 8 MiB, leaves room for extensions, colour tables and stray
// bytes. A file that needs more, such as an endless stream, is refused once that much is read.
inline constexpr std::int64_t gifMaxInputBytes = std::int64_t{32} << 20;
static_assert(gifMaxPixels * 12 / 8 * 256 / 255 + (std::int64_t{7} << 20) < gifMaxInputBytes);

// The two limits of a decoding.
struct GifLimits {
    std::int64_t maxPixels;      // the first image has at most this many pixels
    std::int64_t maxInputBytes;  // libgd reads at most this many bytes
};
inline constexpr GifLimits gifLimits = {gifMaxPixels, gifMaxInputBytes};

struct gdImageStruct;  // libgd's picture (gdImage)

// The caller's own test of the first image's size, made when its descriptor is read, before
// libgd decodes a pixel of it.
struct GifSizeCheck {
    bool (*accept)(void* userData, std::int32_t width,
                   std::int32_t height);  // false refuses the image
    void* userData;
};

// Decodes the first image of `stream` with libgd, reading it once from where it stands, without
// seeking: a pipe gives what a file gives. The bytes pass through a watch that follows libgd's
// own parsing, which stops libgd at an image descriptor announcing more than limits.maxPixels
// pixels (or none), before libgd allocates the picture, and at the first byte past
// limits.maxInputBytes. Results: 2 no image (not a GIF, damaged, a picture without pixels, too
// many pixels or bytes); 0 *picture holds the palette picture, which the caller releases with
// gdImageDestroy. *picture is null whenever the result is not 0. *bytesRead receives the count
// of bytes handed to libgd.
std::int32_t decodeGifStream(std::FILE* stream, GifLimits limits, gdImageStruct** picture,
                             std::int64_t* bytesRead);

// decodeGifStream with `check` (null: none) asked about a descriptor within the limits; a size
// it refuses stops libgd there as the ceiling does. Results: 3 the check refused the size; as
// decodeGifStream otherwise.
std::int32_t decodeGifStreamChecked(std::FILE* stream, GifLimits limits, const GifSizeCheck* check,
                                    gdImageStruct** picture, std::int64_t* bytesRead);

// Opens `path` and decodes its first image with decodeGifStreamChecked within gifLimits. Results:
// 1 the file cannot be opened, 2 no image, 3 `check` (null: none) refused its size; 0 *picture
// holds the decoded palette picture, which the caller releases with gdImageDestroy. *picture is
// null whenever the result is not 0.
std::int32_t decodeGifFile(const char* path, const GifSizeCheck* check, gdImageStruct** picture);

// Decodes `path` and walks every pixel. Results: 1 the file cannot be opened, 2 the decoder
// gave no image (as decodeGifStream), no callback called in either case; 0 every callback called.
std::int32_t loadGifRaster(const char* path, GifSizeCallback onSize, GifEndCallback onEnd,
                           GifPixelCallback onPixel, void* userData);

// Loads `path` into `image` (need not be initialised). Results: 0x10000000 cannot be opened or
// decoded (bit added to status, nothing allocated); 0x8000000 the raster was refused (status
// 0x8000001, nothing allocated); 0 loaded, status 0.
std::int32_t loadGifImage(RgbImage* image, const char* path);

// The three callbacks loadGifImage passes, with the image as user data.
void rasterSizeCallback(void* userData, std::int32_t width, std::int32_t height);
void rasterPixelCallback(void* userData, std::int32_t x, std::int32_t y, std::int32_t red,
                         std::int32_t green, std::int32_t blue);
void rasterEndCallback(void* userData);

// The colour of each palette index, red, green and blue, as libgd's GIF reader gives them.
struct PaletteColours {
    std::uint8_t rgb[256][3];
};

// The palette of a picture decodeGifStream gave.
void gifPaletteColours(const gdImageStruct* picture, PaletteColours* colours);

// The colours of `count` palette indices into `out` (3 bytes each): the one rule from a palette
// picture's pixels to colours.
void paletteRowColours(const PaletteColours* colours, const std::uint8_t* indices,
                       std::int32_t count, std::uint8_t* out);

// Keeps libgd's own warnings off standard error. Called once at start-up.
void silenceGdMessages();
