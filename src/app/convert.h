// One conversion, GIF file to WBMP file, and the command line's number rule.
#pragma once

#include <cstdint>

// Decodes srcPath, resizes it when width or height is nonzero (exact size; 0 derives that side),
// and writes dstPath, the bytes writeWbmpFile writes for resizeImage's result. A request that
// the picture's size refuses fails when the image descriptor is read, before any decoding.
// Results: 1 decoding or resizing failed (dstPath untouched); otherwise the writer's result: 0
// written, 1 failed.
std::int32_t convertFile(const char* srcPath, const char* dstPath, std::int32_t width,
                         std::int32_t height);

// The lenient number rule: skips leading blanks, tabs, line feeds, vertical tabs, form feeds and
// carriage returns, takes one optional sign, then reads decimal digits modulo 2^32 up to the first
// other character. No digit gives 0; nothing is ever refused.
std::int32_t parseDimension(const char* text);
