// GIF export: a paletted picture described by a callback is built as a libgd palette image and
// written as a GIF file; beside it, two small operations on libgd palette images.
//
// saveGifFromPalette takes at most 255 colours from the palette, in order, each entry its own
// colour even when two are equal. Every pixel is asked for before the file is opened. libgd
// writes "GIF87a", or "GIF89a" with a graphic control extension when a colour is transparent.
#pragma once

#include <gd.h>

#include <cstdint>

// One palette colour, each component 0-255.
struct PaletteEntry {
    std::int32_t red;
    std::int32_t green;
    std::int32_t blue;
};

using GifIndexCallback = std::int32_t (*)(void* userData, std::int32_t x,
                                          std::int32_t y);  // palette position of pixel (x, y)

inline constexpr std::int32_t gifExportMaxColours = 255;
inline constexpr std::int32_t gifExportNoImage = 1;
inline constexpr std::int32_t gifExportCannotWrite = 2;

// Writes a width x height GIF to `path`; pixel (x, y) gets the colour at the position onIndex
// returns, and a position outside the colours taken keeps the first colour. transparentFirst
// nonzero makes the first colour transparent. Results: 1 no image (null path, palette or
// onIndex, paletteCount <= 0, or libgd refused the size): onIndex not called, no file touched;
// 2 the file cannot be opened, or a write, flush or close failed: the file is written as
// openOutputFile describes, so an existing regular file keeps every byte and no new file stays
// behind; 0 written.
std::int32_t saveGifFromPalette(const char* path, std::int32_t width, std::int32_t height,
                                GifIndexCallback onIndex, void* userData,
                                const PaletteEntry* palette, std::int32_t paletteCount,
                                std::int32_t transparentFirst);

// Returns the GIF codec's working state to its starting values before an export.
void resetGifEncoder();

// Results: 1 every pixel of the rectangle [left, right) x [top, bottom) has colour index
// `colour` (also when the rectangle is empty); 0 otherwise. Pixels outside the image read as 0.
std::int32_t regionHasColour(gdImagePtr image, std::int32_t left, std::int32_t top,
                             std::int32_t right, std::int32_t bottom, std::int32_t colour);

// Copies the width x height rectangle at (sourceX, sourceY) of `source` to (destX, destY) of
// `dest` pixel by pixel with gdImageCopy, leaving out pixels whose colour index is `key`; the
// colours are carried into dest's palette as libgd does (a source pixel of the source's
// transparent colour is skipped by libgd too).
void copyPixelsExceptColour(gdImagePtr dest, gdImagePtr source, std::int32_t destX,
                            std::int32_t destY, std::int32_t sourceX, std::int32_t sourceY,
                            std::int32_t width, std::int32_t height, std::int32_t key);
