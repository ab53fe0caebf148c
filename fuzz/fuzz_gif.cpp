// Fuzz target for the GIF path. The watch (decodeGifStream with small limits) must agree with
// libgd alone: libgd alone given the bytes the watch let it read builds no picture over the
// ceiling; the watch's picture is the one libgd alone builds from the whole input; a first image
// within the limits that libgd alone builds is accepted. convertFile, at a width and a height
// the last four bytes choose (each -16 to 512), succeeds exactly when libgd alone builds a
// picture and the size rules give at least one pixel a side, and then writes a file of the WBMP
// size; a failure leaves no file. To keep runs short, libgd alone and the conversion run only on
// logical screens of at most 2^18 pixels (and libgd alone on what the watch accepted), and a
// resize working on more pixels than that is made at the source size instead.
#include <gd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/convert.h"
#include "fuzz_support.h"
#include "raster/gif_load.h"

namespace {

constexpr GifLimits limits = {4096, 2048};
constexpr std::int64_t budget = 1 << 18;
using Picture = std::unique_ptr<gdImage, decltype(&gdImageDestroy)>;

// libgd alone on the first `size` bytes (none for 0: libgd leaks on a null buffer); null when none.
Picture decodeAlone(const std::uint8_t* data, std::size_t size) {
    const auto bytes = const_cast<std::uint8_t*>(data);
    return {size != 0 ? gdImageCreateFromGifPtr(int(size), bytes) : nullptr, gdImageDestroy};
}

bool overLimit(const Picture& p) {  // a picture, but not of 1 to limits.maxPixels pixels
    return p && !(p->sx > 0 && p->sy > 0 && std::int64_t{p->sx} * p->sy <= limits.maxPixels);
}

void checkConversion(const std::uint8_t* data, std::size_t size, const Picture& alone) {
    static std::string dir = std::filesystem::temp_directory_path() / "varnock-fuzz-XXXXXX";
    static const bool made =
        mkdtemp(dir.data()) && !std::atexit([] { std::filesystem::remove_all(dir); });
    const std::string gif = dir + "/in.gif", wbmp = dir + "/out.wbmp";
    std::filesystem::remove(wbmp);
    FUZZ_CHECK(made && std::ofstream(gif, std::ios::binary)
                           .write(reinterpret_cast<const char*>(data), std::streamsize(size)));
    std::int32_t width = size >= 4 ? (data[size - 4] | data[size - 3] << 8) % 529 - 16 : 0;
    std::int32_t height = size >= 4 ? (data[size - 2] | data[size - 1] << 8) % 529 - 16 : 0;
    Expectation e = alone ? expectedResize(width, height, alone->sx, alone->sy)
                          : Expectation{true, false, 0, 0, 0};  // no picture: nothing to convert
    if (alone && e.workPixels > budget && !e.reductionFails) width = height = 0;  // too slow
    if (alone && width == 0 && height == 0) e = {false, false, alone->sx, alone->sy, 0};
    const bool succeeds = !e.refusedSize && !e.reductionFails && e.width >= 1 && e.height >= 1;
    const std::int32_t rc = convertFile(gif.c_str(), wbmp.c_str(), width, height);
    FUZZ_CHECK(rc == (succeeds ? 0 : 1) && std::filesystem::exists(wbmp) == succeeds &&
               (!succeeds ||
                std::int64_t(std::filesystem::file_size(wbmp)) == wbmpFileSize(e.width, e.height)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    [[maybe_unused]] static const bool silenced = (silenceGdMessages(), true);
    // The logical screen's width and height are bytes 6 to 9.
    const bool screenSmall =
        size < 10 || std::int64_t{data[6] | data[7] << 8} * (data[8] | data[9] << 8) <= budget;
    std::FILE* stream = openBytes(data, size);
    gdImagePtr picture = nullptr;
    std::int64_t bytesRead = -1;
    const std::int32_t rc = decodeGifStream(stream, limits, &picture, &bytesRead);
    std::fclose(stream);
    const Picture watched(picture, gdImageDestroy);
    FUZZ_CHECK((rc == 0 && watched && !overLimit(watched)) || (rc == gifLoadNoImage && !watched));
    FUZZ_CHECK(bytesRead >= 0 && bytesRead <= limits.maxInputBytes &&
               std::size_t(bytesRead) <= size);
    FUZZ_CHECK(!screenSmall || !overLimit(decodeAlone(data, std::size_t(bytesRead))));
    if (!screenSmall && !watched) return 0;
    const Picture alone = decodeAlone(data, size);
    if (watched) FUZZ_CHECK(alone && gdImageCompare(watched.get(), alone.get()) == 0);
    if (alone && !overLimit(alone) && size <= std::size_t(limits.maxInputBytes))
        FUZZ_CHECK(watched);
    if (screenSmall) checkConversion(data, size, alone);
    return 0;
}
