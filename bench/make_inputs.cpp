// Writes the benchmark's input pictures with libgd, from a fixed seed, into a folder:
//   photo-2000x1500.gif, photo-640x480.gif, photo-200x150.gif: photo-like, 256 colours
//   drawing-1200x900.gif: black lines and circles on white, 2 colours
//   ceiling-65535x2.gif: 36 bytes, one pixel coded, the rest left as libgd fills it
//   storm-16x16.gif: a small picture behind LZW data of nothing but clear codes, up to the
//                    input budget
//   storm-4096x4096.gif: a picture at the pixel ceiling whose every pixel costs libgd a reset of
//                    its code table (a clear code, then a clear code taken as the pixel)
// Usage: make_inputs FOLDER
#include <gd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "raster/gif_load.h"

namespace {

// A small generator of our own, so that every platform draws the same pictures.
struct Random {
    std::uint64_t state;
    std::uint32_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state >> 33);
    }
    int below(int limit) { return static_cast<int>(next() % static_cast<std::uint32_t>(limit)); }
    double unit() { return next() / 2147483648.0; }
};

int clampByte(double value) {
    return value < 0 ? 0 : (value > 255 ? 255 : static_cast<int>(value));
}

// Smooth colour fields (soft blobs over a sky-like gradient), some hard-edged shapes and fine
// grain, so that the picture has what photographs have: gradients, edges, texture. Drawn in
// true colour and reduced to a 256-colour palette by libgd.
gdImagePtr drawPhoto(int width, int height, std::uint64_t seed) {
    Random random{seed};
    gdImagePtr picture = gdImageCreateTrueColor(width, height);
    if (picture == nullptr) return nullptr;
    struct Blob {
        double x, y, radius, red, green, blue;
    };
    Blob blobs[12];
    for (Blob& blob : blobs) {
        blob = {random.unit() * width,
                random.unit() * height,
                (0.1 + 0.4 * random.unit()) * width,
                random.unit() * 200 - 100,
                random.unit() * 200 - 100,
                random.unit() * 200 - 100};
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double fy = static_cast<double>(y) / height;
            double red = 90 + 100 * fy, green = 120 + 60 * fy, blue = 200 - 90 * fy;
            for (const Blob& blob : blobs) {
                const double dx = (x - blob.x) / blob.radius, dy = (y - blob.y) / blob.radius;
                const double weight = std::exp(-(dx * dx + dy * dy));
                red += weight * blob.red;
                green += weight * blob.green;
                blue += weight * blob.blue;
            }
            const double grain = static_cast<int>(random.next() % 25) - 12;
            gdImageSetPixel(picture, x, y,
                            gdTrueColor(clampByte(red + grain), clampByte(green + grain),
                                        clampByte(blue + grain)));
        }
    }
    for (int shape = 0; shape < 8; ++shape) {
        const int x = random.below(width), y = random.below(height);
        const int w = 1 + random.below(width / 4 + 1), h = 1 + random.below(height / 4 + 1);
        const int colour = gdTrueColor(random.below(256), random.below(256), random.below(256));
        if (shape % 2 == 0) {
            gdImageFilledRectangle(picture, x, y, x + w, y + h, colour);
        } else {
            gdImageFilledEllipse(picture, x, y, w, h, colour);
        }
    }
    gdImageTrueColorToPalette(picture, 0, 256);
    return picture;
}

// A line drawing: black strokes on white in a two-colour palette.
gdImagePtr drawLines(int width, int height, std::uint64_t seed) {
    Random random{seed};
    gdImagePtr picture = gdImageCreate(width, height);
    if (picture == nullptr) return nullptr;
    gdImageColorAllocate(picture, 255, 255, 255);
    const int black = gdImageColorAllocate(picture, 0, 0, 0);
    for (int line = 0; line < 300; ++line) {
        gdImageLine(picture, random.below(width), random.below(height), random.below(width),
                    random.below(height), black);
    }
    for (int circle = 0; circle < 80; ++circle) {
        const int diameter = 4 + random.below(height / 3);
        gdImageArc(picture, random.below(width), random.below(height), diameter, diameter, 0, 360,
                   black);
    }
    return picture;
}

bool save(gdImagePtr picture, const std::string& path) {
    if (picture == nullptr) return false;
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    if (stream == nullptr) {
        gdImageDestroy(picture);
        return false;
    }
    gdImageGif(picture, stream);
    const bool written = std::fclose(stream) == 0;
    gdImageDestroy(picture);
    return written;
}

// LZW codes packed as GIF packs them, the first code in the lowest bits.
struct CodePacker {
    std::vector<std::uint8_t> bytes;
    std::uint32_t pending = 0;
    int pendingBits = 0;
    void put(std::uint32_t code, int size) {
        pending |= code << pendingBits;
        for (pendingBits += size; pendingBits >= 8; pendingBits -= 8, pending >>= 8)
            bytes.push_back(static_cast<std::uint8_t>(pending & 0xFF));
    }
    std::vector<std::uint8_t> finish() {
        if (pendingBits > 0) bytes.push_back(static_cast<std::uint8_t>(pending & 0xFF));
        return bytes;
    }
};

// Bytes of a GIF around `data` up to its sub-blocks: the screen and one image of width x height,
// a global table of black and white, the minimum code size.
constexpr std::int64_t codedGifOverhead = 13 + 6 + 10 + 1;

// Writes a GIF89a of one width x height image whose LZW data is `data`, in sub-blocks of 255 bytes.
bool saveCoded(const std::string& path, int width, int height, int minCodeSize,
               const std::vector<std::uint8_t>& data) {
    const auto low = [](int value) { return static_cast<std::uint8_t>(value & 0xFF); };
    const auto high = [](int value) { return static_cast<std::uint8_t>((value >> 8) & 0xFF); };
    std::vector<std::uint8_t> file = {'G',         'I',
                                      'F',         '8',
                                      '9',         'a',
                                      low(width),  high(width),
                                      low(height), high(height),
                                      0x80,        0,
                                      0,           0,
                                      0,           0,
                                      0xFF,        0xFF,
                                      0xFF,        ',',
                                      0,           0,
                                      0,           0,
                                      low(width),  high(width),
                                      low(height), high(height),
                                      0,           low(minCodeSize)};
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t count = data.size() - at < 255 ? data.size() - at : 255;
        file.push_back(static_cast<std::uint8_t>(count));
        file.insert(file.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                    data.begin() + static_cast<std::ptrdiff_t>(at + count));
    }
    file.push_back(0);
    file.push_back(';');
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    if (stream == nullptr) return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), stream) == file.size();
    return std::fclose(stream) == 0 && written;
}

// 65535 x 2 in 36 bytes: 8-bit codes clear, 0, end. libgd allocates the whole picture.
bool saveCeiling(const std::string& path) {
    return saveCoded(path, 65535, 2, 7, {0x80, 0, 0x81});
}

// 16 x 16 behind as much LZW data as the input budget allows: 1-bit codes (minimum code size 0,
// so the clear code is 1), every one a clear code but for the last bytes, whose 0 codes give
// libgd the pixel without which it refuses the picture.
bool saveSmallStorm(const std::string& path) {
    std::int64_t count = (gifMaxInputBytes - codedGifOverhead - 2) * 255 / 256;
    while (codedGifOverhead + count + (count + 254) / 255 + 2 > gifMaxInputBytes)
        --count;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(count), 0xFF);
    data[data.size() - 1] = 0;
    data[data.size() - 2] = 0;
    return saveCoded(path, 16, 16, 0, data);
}

// 4096 x 4096 (the pixel ceiling), 7-bit codes: clear, 0, then two clear codes for every other
// pixel. libgd resets its whole code table for the first and hands out the second as a pixel,
// so each pixel costs a table reset. 14 bits a pixel, about 28 MiB: 8-bit codes would pass the
// input budget.
bool saveCeilingStorm(const std::string& path) {
    constexpr int side = 4096;
    static_assert(std::int64_t{side} * side <= gifMaxPixels);
    constexpr int minCodeSize = 6;
    constexpr std::uint32_t clear = 1U << minCodeSize;
    CodePacker packer;
    packer.put(clear, minCodeSize + 1);
    packer.put(0, minCodeSize + 1);
    for (std::int64_t pixel = 1; pixel < std::int64_t{side} * side; ++pixel) {
        packer.put(clear, minCodeSize + 1);
        packer.put(clear, minCodeSize + 1);
    }
    packer.put(clear + 1, minCodeSize + 1);
    const std::vector<std::uint8_t> data = packer.finish();
    return codedGifOverhead + static_cast<std::int64_t>(data.size() + data.size() / 255) + 3 <=
               gifMaxInputBytes &&
           saveCoded(path, side, side, minCodeSize, data);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const bool done = save(drawPhoto(2000, 1500, 20261), folder + "/photo-2000x1500.gif") &&
                      save(drawPhoto(640, 480, 6404), folder + "/photo-640x480.gif") &&
                      save(drawPhoto(200, 150, 2001), folder + "/photo-200x150.gif") &&
                      save(drawLines(1200, 900, 1209), folder + "/drawing-1200x900.gif") &&
                      saveCeiling(folder + "/ceiling-65535x2.gif") &&
                      saveSmallStorm(folder + "/storm-16x16.gif") &&
                      saveCeilingStorm(folder + "/storm-4096x4096.gif");
    if (!done) {
        std::fprintf(stderr, "make_inputs: cannot write the pictures into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
