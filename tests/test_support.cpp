#include "test_support.h"

#include <gd.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace testsupport {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "varnock-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    // Give back write permission that a test may have taken away, so everything can go.
    for (auto it = fs::recursive_directory_iterator(path_, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void writeText(const std::string& path, const std::string& text) {
    writeFile(path, Bytes(text.begin(), text.end()));
}

std::string dataPath(const std::string& relative) {
    return std::string(VARNOCK_TEST_DATA) + "/" + relative;
}

std::string readText(const std::string& path) {
    const Bytes bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

RunResult runScript(const std::string& dir, const std::string& script) {
    ScratchDir capture;
    writeText(capture.file("run"), script + "\n");
    const std::string command = "cd '" + dir +
                                "' && V='" VARNOCK_EXE "' W='" VARNOCK_VIEW_EXE
                                "' D='" VARNOCK_TEST_DATA "' S='" VARNOCK_SOURCE_DIR
                                "' timeout 60 bash '" +
                                capture.file("run") + "' <" + "/dev/null >'" + capture.file("out") +
                                "' 2>'" + capture.file("err") + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(capture.file("out")),
            readText(capture.file("err"))};
}

void writeGif(const std::string& path, const GifPicture& gif) {
    gdImagePtr picture = gdImageCreate(gif.width, gif.height);
    ASSERT_NE(picture, nullptr);
    for (const std::uint32_t rgb : gif.palette) {
        gdImageColorAllocate(picture, static_cast<int>((rgb >> 16) & 0xFF),
                             static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb & 0xFF));
    }
    if (gif.transparent >= 0) gdImageColorTransparent(picture, gif.transparent);
    for (std::int32_t y = 0; y < gif.height; ++y) {
        for (std::int32_t x = 0; x < gif.width; ++x)
            gdImageSetPixel(picture, x, y,
                            gif.indices.at(static_cast<std::size_t>(y * gif.width + x)));
    }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    gdImageGif(picture, out);
    std::fclose(out);
    gdImageDestroy(picture);
}

RgbImage makeImage(std::int32_t width, std::int32_t height, const std::vector<std::uint8_t>& rgb) {
    RgbImage image{};
    EXPECT_EQ(rgbImageAlloc(&image, width, height), 0);
    if (image.status != 0) return image;
    std::size_t at = 0;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < 3 * width; ++x) {
            image.rows[y][x] = at < rgb.size() ? rgb[at] : 0;
            ++at;
        }
    }
    return image;
}

RgbImage makeGreyImage(std::int32_t width, std::int32_t height, const std::vector<int>& greys) {
    std::vector<std::uint8_t> rgb;
    for (const int grey : greys) {
        for (int channel = 0; channel < 3; ++channel)
            rgb.push_back(static_cast<std::uint8_t>(grey));
    }
    return makeImage(width, height, rgb);
}

RgbImage makeNoise(int width, int height, unsigned seed) {
    std::minstd_rand random(seed);
    std::vector<std::uint8_t> rgb(3 * static_cast<std::size_t>(width) *
                                  static_cast<std::size_t>(height));
    for (auto& byte : rgb)
        byte = static_cast<std::uint8_t>(random() >> 7);
    return makeImage(width, height, rgb);
}

std::vector<std::uint8_t> imageBytes(const RgbImage& image) {
    std::vector<std::uint8_t> bytes;
    for (std::int32_t y = 0; y < image.height; ++y) {
        bytes.insert(bytes.end(), image.rows[y], image.rows[y] + 3 * image.width);
    }
    return bytes;
}

}  // namespace testsupport
