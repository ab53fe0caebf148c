// Fuzz target for the watch that keeps libgd within the limits: the input is decoded by
// decodeGifStream with small limits, and by libgd alone, and the two must agree.
//
// - Whatever libgd read through the watch, libgd alone given exactly those bytes builds no
//   picture beyond the ceiling: the watch stopped it before it allocated one.
// - The watch's picture is one of 1 to maxPixels pixels, and libgd alone builds the same
//   picture from the whole input.
// - When libgd alone builds a first image of 1 to maxPixels pixels from an input of at most
//   maxInputBytes bytes, the watch gives it too.
//
// libgd alone runs on inputs whose logical screen has at most 2^18 pixels (libgd keeps every
// frame inside the screen, so no larger picture can come out), and on those the watch accepted;
// the watch runs on all.
#include <gd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fuzz_check.h"
#include "raster/gif_load.h"

namespace {

constexpr GifLimits smallLimits = {4096, 2048};
constexpr std::uint32_t maxScreenPixels = 1u << 18;

bool screenSmallEnough(const std::uint8_t* data, std::size_t size) {
    if (size < 10) return true;
    const std::uint32_t width = data[6] | (data[7] << 8);
    const std::uint32_t height = data[8] | (data[9] << 8);
    return width * height <= maxScreenPixels;
}

// libgd alone on the first `size` bytes; null when it builds nothing.
gdImagePtr decodeAlone(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return nullptr;
    return gdImageCreateFromGifPtr(static_cast<int>(size), const_cast<std::uint8_t*>(data));
}

std::int64_t pixelsOf(gdImagePtr picture) {
    return std::int64_t{gdImageSX(picture)} * gdImageSY(picture);
}

bool withinCeiling(gdImagePtr picture) {
    return gdImageSX(picture) > 0 && gdImageSY(picture) > 0 &&
           pixelsOf(picture) <= smallLimits.maxPixels;
}

bool samePicture(gdImagePtr a, gdImagePtr b) {
    if (gdImageSX(a) != gdImageSX(b) || gdImageSY(a) != gdImageSY(b)) return false;
    if (a->colorsTotal != b->colorsTotal || a->transparent != b->transparent) return false;
    if (a->interlace != b->interlace) return false;
    for (int i = 0; i < a->colorsTotal; ++i) {
        if (a->red[i] != b->red[i] || a->green[i] != b->green[i] || a->blue[i] != b->blue[i])
            return false;
    }
    for (int y = 0; y < gdImageSY(a); ++y) {
        if (std::memcmp(a->pixels[y], b->pixels[y], static_cast<std::size_t>(gdImageSX(a))) != 0)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool silenced = (silenceGdMessages(), true);
    (void)silenced;
    std::FILE* stream = size != 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "rb")
                                  : std::fopen("/dev/null", "rb");
    FUZZ_CHECK(stream != nullptr);
    gdImagePtr watched = nullptr;
    std::int64_t bytesRead = -1;
    const std::int32_t rc = decodeGifStream(stream, smallLimits, &watched, &bytesRead);
    std::fclose(stream);
    FUZZ_CHECK(rc == 0 || rc == gifLoadNoImage);
    FUZZ_CHECK((rc == 0) == (watched != nullptr));
    FUZZ_CHECK(bytesRead >= 0 && bytesRead <= smallLimits.maxInputBytes);
    FUZZ_CHECK(static_cast<std::size_t>(bytesRead) <= size);
    if (watched != nullptr) FUZZ_CHECK(withinCeiling(watched));

    if (screenSmallEnough(data, size)) {
        gdImagePtr seen = decodeAlone(data, static_cast<std::size_t>(bytesRead));
        if (seen != nullptr) FUZZ_CHECK(pixelsOf(seen) <= smallLimits.maxPixels);
        if (seen != nullptr) gdImageDestroy(seen);
    }
    // With a picture from the watch, libgd alone reads the same bytes, so it is safe to run.
    if (screenSmallEnough(data, size) || watched != nullptr) {
        gdImagePtr alone = decodeAlone(data, size);
        if (watched != nullptr) FUZZ_CHECK(alone != nullptr && samePicture(watched, alone));
        const bool mustAccept = alone != nullptr && withinCeiling(alone) &&
                                size <= static_cast<std::size_t>(smallLimits.maxInputBytes);
        if (mustAccept) FUZZ_CHECK(watched != nullptr);
        if (alone != nullptr) gdImageDestroy(alone);
    }
    if (watched != nullptr) gdImageDestroy(watched);
    return 0;
}
