// Drawing a MonoBitmap in a terminal with Unicode half blocks.
//
// One text line shows two pixel rows and one text column one pixel column, so with the usual
// character cell (about twice as high as wide) every pixel comes out roughly square. White
// pixels are the drawn part of each character: both rows white "█" (U+2588), only the upper
// one "▀" (U+2580), only the lower one "▄" (U+2584), both black a blank. With `colour` set,
// every line is framed by the escape sequences that select a bright white foreground on a
// black background and then restore the terminal's own colours, so white shows light on any
// terminal theme. A picture with an odd height has a black row below its last one.
//
// A picture wider than the terminal is first reduced (viewFitSize, viewReduce): every cell of
// the smaller grid covers a block of the picture, and the block is drawn in the picture's
// rarer colour when that colour makes up a larger share of the block than of the whole picture
// (exactly as the converter thresholds grey at the picture's mean). A one-pixel line through a
// k-pixel-wide block makes 1/k of it, far more than the few percent that lines make of a line
// drawing, so thin lines stay visible; a dithered photo keeps its light and dark regions.
#pragma once

#include <cstdint>
#include <cstdio>

#include "mono/mono_bitmap.h"

// The largest picture the viewer handles: every WBMP varnock writes. A picture at the GIF's own
// size has at most varnock's 16,777,216 GIF pixels and sides of at most 65,535 (a GIF side's
// limit); a resized one has sides below 4,096, since its reduction needs (source or enlarged
// side) x (target side) below 2^24 with the source side at least the target side. These bounds
// keep every count product of viewReduce below 2^48 and a bitmap at 2 MiB.
inline constexpr std::int32_t viewMaxSide = 65535;
inline constexpr std::int64_t viewMaxPixels = std::int64_t{1} << 24;

// The size of the drawn grid for a width x height picture in at most maxColumns text columns:
// never wider than the picture, the height scaled in proportion (rounded, at least 1).
// Results: 1 a side outside 1 to viewMaxSide, 2 maxColumns <= 0, 3 a null output; 0 stored.
std::int32_t viewFitSize(std::int32_t width, std::int32_t height, std::int32_t maxColumns,
                         std::int32_t* fitWidth, std::int32_t* fitHeight);

// Reduces `source` into `dest` (an empty record, created here), width x height, by the rarer
// colour rule above; a size equal to the source's copies it. Results: 1 null source or data,
// 2 a source side above viewMaxSide or more than viewMaxPixels pixels, 3 width not in 1 to the
// source's width or height not in 1 to the source's height, 4 monoCreate refused; 0 reduced.
std::int32_t viewReduce(MonoBitmap* dest, const MonoBitmap* source, std::int32_t width,
                        std::int32_t height, MonoAllocateFn allocate);

// Draws the bitmap on `stream`, (height + 1) / 2 lines of width characters, each ended by a
// line feed. Results: 1 null bitmap or data, 2 null stream; 0 drawn (write errors are left in
// the stream's error indicator).
std::int32_t viewDraw(const MonoBitmap* bitmap, std::int32_t colour, std::FILE* stream);

// A count of text columns written in decimal digits only (no sign, no blank), 1 to 2^31 - 1;
// 0 for anything else (empty, null, other characters, 0, too large).
std::int32_t viewParseColumns(const char* text);
