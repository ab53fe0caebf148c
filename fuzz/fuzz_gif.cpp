// Fuzz target for the GIF path: the watch that keeps libgd within the limits, and the whole
// conversion to WBMP.
//
// The watch: decodeGifStream decodes the input with small limits, libgd alone decodes it too,
// and the two must agree.
// - Whatever libgd read through the watch, libgd alone given exactly those bytes builds no
//   picture beyond the ceiling: the watch stopped it before it allocated one.
// - The watch's picture is one of 1 to maxPixels pixels, and libgd alone builds the same picture
//   from the whole input.
// - When libgd alone builds a first image of 1 to maxPixels pixels from an input of at most
//   maxInputBytes bytes, the watch gives it too.
//
// The conversion: convertFile on the input as a file, at a width and a height chosen by its last
// four bytes (each from -16 to 512, 0 asking for the derived side). It succeeds exactly when
// libgd alone builds a picture and the size rules (fuzz_support.h) give a target of at least one
// pixel a side; the file then has the size the WBMP format gives for that target. A failure
// leaves no destination file.
//
// libgd alone and the conversion run only on inputs whose logical screen has at most 2^18 pixels
// (libgd keeps every frame inside the screen, so no larger picture can come out; the refusal of
// huge pictures is the watch's concern), and libgd alone also on those the watch accepted. A
// resize whose intermediate picture would exceed 2^18 pixels is replaced by a conversion at the
// source size. Both bounds keep each run short.
#include <gd.h>

#include <filesystem>
#include <string>

#include "app/convert.h"
#include "fuzz_support.h"
#include "raster/gif_load.h"

namespace {

constexpr GifLimits smallLimits = {4096, 2048};
constexpr std::int64_t budgetPixels = 1 << 18;  // for the logical screen and for a resize

// A folder of our own for the input and the output file, removed at exit.
struct Scratch {
    std::string folder = std::filesystem::temp_directory_path() / "varnock-fuzz-XXXXXX";
    const bool made = mkdtemp(folder.data()) != nullptr;
    ~Scratch() { std::filesystem::remove_all(folder); }
};

bool withinCeiling(gdImagePtr picture) {
    return gdImageSX(picture) > 0 && gdImageSY(picture) > 0 &&
           std::int64_t{gdImageSX(picture)} * gdImageSY(picture) <= smallLimits.maxPixels;
}

// libgd alone on the first `size` bytes; null when it builds nothing.
gdImagePtr decodeAlone(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return nullptr;
    return gdImageCreateFromGifPtr(static_cast<int>(size), const_cast<std::uint8_t*>(data));
}

// Checks the watch against libgd alone; returns libgd alone's picture from the whole input (null
// when it builds none or was not run), which the caller releases.
gdImagePtr checkWatch(const std::uint8_t* data, std::size_t size, bool screenSmall) {
    std::FILE* stream = size != 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "rb")
                                  : std::fopen("/dev/null", "rb");
    FUZZ_CHECK(stream != nullptr);
    gdImagePtr watched = nullptr;
    std::int64_t bytesRead = -1;
    const std::int32_t rc = decodeGifStream(stream, smallLimits, &watched, &bytesRead);
    std::fclose(stream);
    FUZZ_CHECK((rc == 0 && watched != nullptr && withinCeiling(watched)) ||
               (rc == gifLoadNoImage && watched == nullptr));
    FUZZ_CHECK(bytesRead >= 0 && bytesRead <= smallLimits.maxInputBytes &&
               static_cast<std::size_t>(bytesRead) <= size);
    if (screenSmall) {
        gdImagePtr seen = decodeAlone(data, static_cast<std::size_t>(bytesRead));
        FUZZ_CHECK(seen == nullptr || withinCeiling(seen));
        if (seen != nullptr) gdImageDestroy(seen);
    }
    // With a picture from the watch, libgd alone reads the same bytes, so it is safe to run.
    gdImagePtr alone = screenSmall || watched != nullptr ? decodeAlone(data, size) : nullptr;
    if (watched != nullptr) FUZZ_CHECK(alone != nullptr && gdImageCompare(watched, alone) == 0);
    if (alone != nullptr && withinCeiling(alone) &&
        size <= static_cast<std::size_t>(smallLimits.maxInputBytes))
        FUZZ_CHECK(watched != nullptr);
    if (watched != nullptr) gdImageDestroy(watched);
    return alone;
}

// Converts the input at the size its last four bytes choose; `alone` is libgd alone's picture.
void checkConversion(const std::uint8_t* data, std::size_t size, gdImagePtr alone) {
    static const Scratch scratch;
    static const std::string gif = scratch.folder + "/in.gif", wbmp = scratch.folder + "/out.wbmp";
    std::FILE* file = std::fopen(gif.c_str(), "wb");
    FUZZ_CHECK(file != nullptr && (size == 0 || std::fwrite(data, 1, size, file) == size) &&
               std::fclose(file) == 0);
    std::int32_t width = size >= 4 ? (data[size - 4] | data[size - 3] << 8) % 529 - 16 : 0;
    std::int32_t height = size >= 4 ? (data[size - 2] | data[size - 1] << 8) % 529 - 16 : 0;
    Expectation e{true, false, 0, 0, 0};  // no picture: nothing to convert
    if (alone != nullptr) e = expectedResize(width, height, gdImageSX(alone), gdImageSY(alone));
    if (alone != nullptr &&
        ((width == 0 && height == 0) || (e.workPixels > budgetPixels && !e.reductionFails))) {
        width = height = 0;
        e = {false, false, gdImageSX(alone), gdImageSY(alone), 0};
    }
    const bool succeeds = !e.refusedSize && !e.reductionFails && e.width >= 1 && e.height >= 1;
    std::filesystem::remove(wbmp);
    const std::int32_t rc = convertFile(gif.c_str(), wbmp.c_str(), width, height);
    FUZZ_CHECK(rc == (succeeds ? 0 : 1) && std::filesystem::exists(wbmp) == succeeds);
    if (succeeds)
        FUZZ_CHECK(std::int64_t(std::filesystem::file_size(wbmp)) ==
                   wbmpFileSize(e.width, e.height));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    [[maybe_unused]] static const bool silenced = (silenceGdMessages(), true);
    // The logical screen's width and height are bytes 6 to 9.
    const bool screenSmall = size < 10 || std::uint32_t(data[6] | data[7] << 8) *
                                                  std::uint32_t(data[8] | data[9] << 8) <=
                                              budgetPixels;
    gdImagePtr alone = checkWatch(data, size, screenSmall);
    if (screenSmall) checkConversion(data, size, alone);
    if (alone != nullptr) gdImageDestroy(alone);
    return 0;
}
