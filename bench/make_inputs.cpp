// Writes the benchmark's input pictures with libgd, from a fixed seed, into a folder:
//   photo-2000x1500.gif, photo-640x480.gif, photo-200x150.gif: photo-like, 256 colours
//   drawing-1200x900.gif: black lines and circles on white, 2 colours
// Usage: make_inputs FOLDER
#include <gd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

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
                      save(drawLines(1200, 900, 1209), folder + "/drawing-1200x900.gif");
    if (!done) {
        std::fprintf(stderr, "make_inputs: cannot write the pictures into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
