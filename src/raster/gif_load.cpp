// GIF loading adapter over libgd.
#include "raster/gif_load.h"

#include <gd.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace {

void discardGdMessage(int /*priority*/, const char* /*format*/, va_list /*args*/) {}

// Hands out every pixel of a decoded palette image, row by row, with the colour of its palette
// entry, a part of a row at a time. The GIF decoder always builds a palette image.
void walkPixels(gdImagePtr picture, GifPixelCallback onPixel, void* userData) {
    constexpr std::int32_t part = 256;
    PaletteColours colours;
    gifPaletteColours(picture, &colours);
    std::uint8_t rgb[3 * part];
    const std::int32_t width = gdImageSX(picture);
    for (std::int32_t y = 0; y < gdImageSY(picture); ++y) {
        for (std::int32_t x = 0; x < width; x += part) {
            const std::int32_t count = width - x < part ? width - x : part;
            paletteRowColours(&colours, picture->pixels[y] + x, count, rgb);
            for (std::int32_t at = 0; at < count; ++at) {
                const std::uint8_t* pixel = rgb + 3 * at;
                onPixel(userData, x + at, y, pixel[0], pixel[1], pixel[2]);
            }
        }
    }
}

// Where libgd's GIF reader stands in the bytes it has read so far. It reads, in this order: the
// signature and the logical screen (13 bytes), the global colour table if the screen's flags
// announce one, then blocks: ';' ends the file; '!' and a label start an extension, skipped as
// data sub-blocks (a count byte, then that many bytes) up to an empty one, except that after the
// label 0xF9 the first sub-block is read whatever its count, so "21 F9 00" is followed by more
// sub-blocks; ',' starts the 9-byte image descriptor; any other byte is skipped. After the first
// descriptor libgd decodes that image and reads nothing more than its data.
enum class GifPart : std::uint8_t {
    header,         // signature and screen
    globalTable,    // colour bytes to skip
    block,          // the next byte starts a block or is a stray byte
    label,          // the byte after '!'
    firstSubBlock,  // the count of the control extension's first sub-block
    subBlockCount,  // the count of an extension's next sub-block, 0 ending it
    subBlockData,   // bytes of a sub-block to skip
    descriptor,     // the image descriptor's 9 bytes
    image,          // past the descriptor: only counted
    ended,          // past the trailer: libgd reads nothing more
};

// The watch that stands between the stream and libgd. `ctx` comes first, so that libgd's
// context pointer leads back to the whole record.
struct GifWatch {
    gdIOCtx ctx;
    std::FILE* stream;
    GifLimits limits;
    const GifSizeCheck* check;  // null: none
    std::int64_t delivered;     // bytes handed to libgd
    GifPart part;
    std::int32_t left;        // bytes still to come in the current part
    std::uint8_t fields[13];  // the screen's or the descriptor's bytes so far
    bool refused;             // a limit was passed: libgd gets no byte more
    bool sizeRefused;         // the check refused the image's size
};

constexpr std::int32_t screenBytes = 13;
constexpr std::int32_t descriptorBytes = 9;
constexpr std::uint8_t controlLabel = 0xF9;

// Follows one byte of the parts made of single bytes.
void followByte(GifWatch* watch, std::uint8_t byte) {
    switch (watch->part) {
        case GifPart::block:
            if (byte == ';') watch->part = GifPart::ended;
            if (byte == '!') watch->part = GifPart::label;
            if (byte == ',') {
                watch->part = GifPart::descriptor;
                watch->left = descriptorBytes;
            }
            return;
        case GifPart::label:
            watch->part = byte == controlLabel ? GifPart::firstSubBlock : GifPart::subBlockCount;
            return;
        case GifPart::firstSubBlock:
            watch->left = byte;
            watch->part = byte != 0 ? GifPart::subBlockData : GifPart::subBlockCount;
            return;
        case GifPart::subBlockCount:
            watch->left = byte;
            watch->part = byte != 0 ? GifPart::subBlockData : GifPart::block;
            return;
        default:
            return;
    }
}

// The screen is complete: its flags tell whether a global colour table follows.
void endScreen(GifWatch* watch) {
    const std::uint8_t flags = watch->fields[10];
    watch->left = (flags & 0x80) != 0 ? 3 * (2 << (flags & 0x07)) : 0;
    watch->part = watch->left != 0 ? GifPart::globalTable : GifPart::block;
}

// Follows the first `count` bytes of `bytes`, the next ones libgd is to read. Returns how many
// of them libgd may have: all, or fewer when the image descriptor among them announces a picture
// without pixels, with more than the ceiling's or of a size the check refuses, in which case the
// watch is refused and libgd's read of the descriptor comes up short, so it gives up before
// allocating the picture.
std::size_t followBytes(GifWatch* watch, const std::uint8_t* bytes, std::size_t count) {
    std::size_t at = 0;
    while (at < count) {
        const std::size_t rest = count - at;
        const auto left = static_cast<std::size_t>(watch->left);
        switch (watch->part) {
            case GifPart::image:
            case GifPart::ended:
                return count;
            case GifPart::globalTable:
            case GifPart::subBlockData: {
                const std::size_t skipped = left < rest ? left : rest;
                at += skipped;
                watch->left -= static_cast<std::int32_t>(skipped);
                if (watch->left == 0) {
                    watch->part = watch->part == GifPart::globalTable ? GifPart::block
                                                                      : GifPart::subBlockCount;
                }
                break;
            }
            case GifPart::header:
                watch->fields[screenBytes - watch->left] = bytes[at++];
                if (--watch->left == 0) endScreen(watch);
                break;
            case GifPart::descriptor: {
                watch->fields[descriptorBytes - watch->left] = bytes[at];
                if (--watch->left != 0) {
                    ++at;
                    break;
                }
                const std::int64_t width = watch->fields[4] | (watch->fields[5] << 8);
                const std::int64_t height = watch->fields[6] | (watch->fields[7] << 8);
                const std::int64_t pixels = width * height;
                watch->sizeRefused =
                    pixels != 0 && pixels <= watch->limits.maxPixels && watch->check != nullptr &&
                    !watch->check->accept(watch->check->userData, static_cast<std::int32_t>(width),
                                          static_cast<std::int32_t>(height));
                if (pixels == 0 || pixels > watch->limits.maxPixels || watch->sizeRefused) {
                    watch->refused = true;
                    return at;  // the descriptor's last byte is held back
                }
                watch->part = GifPart::image;
                return count;
            }
            default:
                followByte(watch, bytes[at++]);
                break;
        }
    }
    return at;
}

// libgd's read: up to `wanted` bytes into `buffer`, fewer at the end of the stream or once a
// limit is passed. The first byte past maxInputBytes refuses the watch; the end of a stream of
// exactly maxInputBytes bytes does not.
int readForGd(gdIOCtx* ctx, void* buffer, int wanted) {
    auto* watch = reinterpret_cast<GifWatch*>(ctx);
    if (watch->refused || wanted <= 0) return 0;
    const std::int64_t allowed = watch->limits.maxInputBytes - watch->delivered;
    const std::int64_t asked = wanted < allowed ? wanted : allowed;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::size_t got = 0;
    if (asked == 1) {
        const int byte = getc_unlocked(watch->stream);
        if (byte != EOF) {
            bytes[0] = static_cast<std::uint8_t>(byte);
            got = 1;
        }
    } else if (asked > 0) {
        got = std::fread(bytes, 1, static_cast<std::size_t>(asked), watch->stream);
    }
    const std::size_t kept = followBytes(watch, bytes, got);
    watch->delivered += static_cast<std::int64_t>(kept);
    if (kept == got && asked < wanted && static_cast<std::int64_t>(got) == asked &&
        getc_unlocked(watch->stream) != EOF) {
        watch->refused = true;
    }
    return static_cast<int>(kept);
}

// gdImageCreateFromGifCtx reads through getBuf only; the other entries are never called.
int readByteForGd(gdIOCtx* ctx) {
    std::uint8_t byte = 0;
    return readForGd(ctx, &byte, 1) == 1 ? byte : EOF;
}

}  // namespace

std::int32_t decodeGifStream(std::FILE* stream, GifLimits limits, gdImagePtr* picture,
                             std::int64_t* bytesRead) {
    return decodeGifStreamChecked(stream, limits, nullptr, picture, bytesRead);
}

std::int32_t decodeGifStreamChecked(std::FILE* stream, GifLimits limits, const GifSizeCheck* check,
                                    gdImagePtr* picture, std::int64_t* bytesRead) {
    *picture = nullptr;
    GifWatch watch{};
    watch.check = check;
    watch.ctx.getC = readByteForGd;
    watch.ctx.getBuf = readForGd;
    watch.stream = stream;
    watch.limits = limits;
    watch.part = GifPart::header;
    watch.left = screenBytes;
    gdImagePtr decoded = gdImageCreateFromGifCtx(&watch.ctx);
    *bytesRead = watch.delivered;
    if (watch.sizeRefused) return gifLoadSizeRefused;  // libgd stopped inside the descriptor
    if (decoded == nullptr) return gifLoadNoImage;
    const std::int64_t pixels = std::int64_t{gdImageSX(decoded)} * gdImageSY(decoded);
    if (watch.refused || gdImageSX(decoded) <= 0 || gdImageSY(decoded) <= 0 ||
        pixels > limits.maxPixels) {
        gdImageDestroy(decoded);
        return gifLoadNoImage;
    }
    *picture = decoded;
    return 0;
}

std::int32_t decodeGifFile(const char* path, const GifSizeCheck* check, gdImagePtr* picture) {
    *picture = nullptr;
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) return gifLoadCannotOpen;
    std::int64_t bytesRead = 0;
    const std::int32_t rc = decodeGifStreamChecked(stream, gifLimits, check, picture, &bytesRead);
    std::fclose(stream);
    return rc;
}

std::int32_t loadGifRaster(const char* path, GifSizeCallback onSize, GifEndCallback onEnd,
                           GifPixelCallback onPixel, void* userData) {
    gdImagePtr picture = nullptr;
    const std::int32_t rc = decodeGifFile(path, nullptr, &picture);
    if (rc != 0) return rc;
    onSize(userData, gdImageSX(picture), gdImageSY(picture));
    walkPixels(picture, onPixel, userData);
    onEnd(userData);
    gdImageDestroy(picture);
    return 0;
}

std::int32_t loadGifImage(RgbImage* image, const char* path) {
    const std::int32_t rc =
        loadGifRaster(path, rasterSizeCallback, rasterEndCallback, rasterPixelCallback, image);
    if (rc != 0) {
        image->status |= statusLoadFailed;
        return statusLoadFailed;
    }
    return image->status != 0 ? statusLoadAllocFailed : 0;
}

void rasterSizeCallback(void* userData, std::int32_t width, std::int32_t height) {
    auto* image = static_cast<RgbImage*>(userData);
    if (rgbImageAlloc(image, width, height) != 0) image->status |= statusLoadAllocFailed;
}

void rasterPixelCallback(void* userData, std::int32_t x, std::int32_t y, std::int32_t red,
                         std::int32_t green, std::int32_t blue) {
    auto* image = static_cast<RgbImage*>(userData);
    if (image->status != 0) return;
    std::uint8_t* pixel = image->rows[y] + 3 * static_cast<std::ptrdiff_t>(x);
    pixel[0] = static_cast<std::uint8_t>(red & 0xFF);
    pixel[1] = static_cast<std::uint8_t>(green & 0xFF);
    pixel[2] = static_cast<std::uint8_t>(blue & 0xFF);
}

void rasterEndCallback(void* /*userData*/) {}

void gifPaletteColours(const gdImageStruct* picture, PaletteColours* colours) {
    for (std::size_t entry = 0; entry < 256; ++entry) {
        colours->rgb[entry][0] = static_cast<std::uint8_t>(picture->red[entry] & 0xFF);
        colours->rgb[entry][1] = static_cast<std::uint8_t>(picture->green[entry] & 0xFF);
        colours->rgb[entry][2] = static_cast<std::uint8_t>(picture->blue[entry] & 0xFF);
    }
}

void paletteRowColours(const PaletteColours* colours, const std::uint8_t* indices,
                       std::int32_t count, std::uint8_t* out) {
    for (std::int32_t x = 0; x < count; ++x, out += 3) {
        const std::uint8_t* colour = colours->rgb[indices[x]];
        out[0] = colour[0];
        out[1] = colour[1];
        out[2] = colour[2];
    }
}

void silenceGdMessages() {
    gdSetErrorMethod(discardGdMessage);
}
