// Fuzz target for the whole conversion path: the input is written to a file and loaded as a
// GIF; its last four bytes also choose a width and a height (each from -16 to 512, 0 asking for
// the derived side) for resizeImage; the result is written as a WBMP file. Everything is
// released, so LeakSanitizer sees any block that is not.
//
// A resize whose intermediate picture would exceed 2^18 pixels is replaced by a conversion at the
// source size, and inputs whose GIF header announces a logical screen above 2^18 pixels are
// skipped: libgd keeps every frame inside the screen, and the refusal of huge pictures is the
// concern of fuzz_gif_guard and the unit tests; here large ones would only make each run slow.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_check.h"
#include "fuzz_sizes.h"
#include "fuzz_temp_file.h"
#include "mono/wbmp_export.h"
#include "raster/gif_load.h"
#include "raster/rgb_image.h"
#include "resample/resize.h"

namespace {

constexpr std::uint32_t maxScreenPixels = 1u << 18;
constexpr std::int32_t smallestSide = -16;
constexpr std::int32_t sideChoices = 512 - smallestSide + 1;
constexpr std::int64_t workBudgetPixels = std::int64_t{1} << 18;

bool screenTooLarge(const std::uint8_t* data, std::size_t size) {
    if (size < 10 || std::memcmp(data, "GIF", 3) != 0) return false;
    const std::uint32_t width = data[6] | (data[7] << 8);
    const std::uint32_t height = data[8] | (data[9] << 8);
    return width * height > maxScreenPixels;
}

std::int32_t sideFrom(const std::uint8_t* twoBytes) {
    const std::int32_t raw = twoBytes[0] | (twoBytes[1] << 8);
    return raw % sideChoices + smallestSide;
}

void writeInput(const char* path, const std::uint8_t* data, std::size_t size) {
    const int fd = open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t wrote = write(fd, data + done, size - done);
        FUZZ_CHECK(wrote > 0);
        done += static_cast<std::size_t>(wrote);
    }
    close(fd);
}

std::int64_t multiByteLength(std::int32_t value) {
    std::int64_t length = 1;
    for (; value > 127; value >>= 7)
        ++length;
    return length;
}

// Reads every pixel byte, so that a block shorter than its rows shows up under ASan.
void touchEveryPixel(const RgbImage& image) {
    volatile std::uint32_t sum = 0;
    for (std::int32_t y = 0; y < image.height; ++y) {
        for (std::int32_t x = 0; x < 3 * image.width; ++x)
            sum = sum + image.rows[y][x];
    }
}

void writeAndCheck(RgbImage* image, const char* path) {
    const std::int32_t width = image->width;
    const std::int32_t height = image->height;
    const std::int32_t rc = writeWbmpFile(image, path);
    if (width < 1 || height < 1) {
        FUZZ_CHECK(rc == 1);  // no bitmap without pixels
        return;
    }
    FUZZ_CHECK(rc == 0);
    struct stat written {};
    FUZZ_CHECK(stat(path, &written) == 0);
    const std::int64_t expected = 2 + multiByteLength(width) + multiByteLength(height) +
                                  std::int64_t{(width + 7) / 8} * height;
    FUZZ_CHECK(written.st_size == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool silenced = (silenceGdMessages(), true);
    (void)silenced;
    static fuzzsupport::TempFile gifFile("varnock-fuzz-gif");
    static fuzzsupport::TempFile wbmpFile("varnock-fuzz-wbmp");
    if (screenTooLarge(data, size)) return 0;
    writeInput(gifFile.path.c_str(), data, size);

    RgbImage source{};
    const std::int32_t loaded = loadGifImage(&source, gifFile.path.c_str());
    if (loaded != 0) {
        FUZZ_CHECK(loaded == statusLoadFailed || loaded == statusLoadAllocFailed);
        FUZZ_CHECK(source.status != 0);
        return 0;
    }
    FUZZ_CHECK(source.status == 0 && source.width >= 1 && source.height >= 1);
    touchEveryPixel(source);

    std::int32_t width = size >= 4 ? sideFrom(data + size - 4) : 0;
    std::int32_t height = size >= 4 ? sideFrom(data + size - 2) : 0;
    const fuzzsupport::Expectation plan =
        fuzzsupport::expect(width, height, source.width, source.height);
    const bool mustSucceed =
        (width != 0 || height != 0) && !plan.refusedSize && !plan.reductionFails;
    if (mustSucceed && plan.workWidth * plan.workHeight > workBudgetPixels) width = height = 0;
    RgbImage dest{};
    if (width != 0 || height != 0) {
        const std::int32_t resized = resizeImage(&dest, width, height, &source, 1);
        rgbImageFree(&source);
        if (!mustSucceed) {
            FUZZ_CHECK(resized != 0 && dest.status != 0);
            return 0;
        }
        FUZZ_CHECK(resized == 0 && dest.status == 0);
        FUZZ_CHECK(dest.width == plan.width && dest.height == plan.height);
        touchEveryPixel(dest);
    } else {
        dest = source;
    }
    writeAndCheck(&dest, wbmpFile.path.c_str());
    rgbImageFree(&dest);
    return 0;
}
