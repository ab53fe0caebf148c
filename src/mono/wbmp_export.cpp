// Writing an RgbImage as a WBMP file: dither, pack, then open and write in one go.
#include "mono/wbmp_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "mono/dither.h"
#include "mono/mono_bitmap.h"

namespace {

// The destination opened for writing bytes ("wb": created, or emptied when it exists), and
// whether this call created it.
struct Destination {
    std::FILE* stream = nullptr;
    bool created = false;
};

Destination openDestination(const char* path) {
    Destination destination;
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
        destination.stream = fdopen(fd, "wb");
        if (destination.stream == nullptr) {
            close(fd);
            unlink(path);
            return destination;
        }
        destination.created = true;
        return destination;
    }
    if (errno != EEXIST) return destination;
    destination.stream = std::fopen(path, "wb");
    return destination;
}

void packWhitePixels(const RgbImage* image, MonoBitmap* bitmap) {
    for (std::int32_t y = 0; y < image->height; ++y) {
        const std::uint8_t* pixel = image->rows[y];
        for (std::int32_t x = 0; x < image->width; ++x, pixel += 3) {
            monoSetPixel(bitmap, x, y, pixel[0] > 127 ? 1 : 0);
        }
    }
}

// Writes the bitmap and closes the stream. Returns 0 when every write, the flush and the close
// succeeded.
std::int32_t writeAndClose(const MonoBitmap* bitmap, std::FILE* stream) {
    monoWriteWbmp(bitmap, stream);
    const bool writeFailed = std::fflush(stream) != 0 || std::ferror(stream) != 0;
    const bool closeFailed = std::fclose(stream) != 0;
    return writeFailed || closeFailed ? 1 : 0;
}

}  // namespace

std::int32_t writeWbmpFile(RgbImage* image, const char* path) {
    ditherToBlackWhite(image, -1);
    MonoBitmap bitmap{};
    if (monoCreate(&bitmap, image->width, image->height, std::malloc) != 0) return 1;
    packWhitePixels(image, &bitmap);

    std::int32_t result = 1;
    const Destination destination = openDestination(path);
    if (destination.stream != nullptr) {
        result = writeAndClose(&bitmap, destination.stream);
        if (result != 0 && destination.created) unlink(path);
    }
    monoFree(&bitmap, std::free);
    return result;
}
