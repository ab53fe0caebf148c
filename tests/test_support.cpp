#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

ScratchDir::~ScratchDir() {  // first gives back any permission a test took away
    std::system(
        ("chmod -R u+rwX '" + path_.string() + "'; rm -rf '" + path_.string() + "'").c_str());
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

RunResult runScript(const ScratchDir& dir, const std::string& script, int seconds) {
    ScratchDir capture;
    const std::string run = capture.file("run"), out = capture.file("out"),
                      err = capture.file("err");
    const std::string command =
        "cd '" + dir.path().string() +
        "' && V='" VARNOCK_EXE "' W='" VARNOCK_VIEW_EXE "' P='" VARNOCK_PACKER
        "' D='" VARNOCK_TEST_DATA "' S='" VARNOCK_SOURCE_DIR "' timeout " +
        std::to_string(seconds) + " bash '" + run + "' </dev/null >'" + out + "' 2>'" + err + "'";
    writeText(run, script + "\n");
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(out), readText(err)};
}

RgbImage makeImage(std::int32_t width, std::int32_t height, const Bytes& rgb) {
    RgbImage image{};
    EXPECT_EQ(rgbImageAlloc(&image, width, height), 0);
    for (std::int32_t y = 0; image.status == 0 && y < height; ++y)
        std::copy_n(rgb.begin() + 3 * width * y, 3 * width, image.rows[y]);
    return image;
}

RgbImage makeNoise(int width, int height, unsigned seed) {
    std::minstd_rand random(seed);
    Bytes rgb(3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    std::generate(rgb.begin(), rgb.end(), [&] { return std::uint8_t(random() >> 7); });
    return makeImage(width, height, rgb);
}

std::vector<std::uint8_t> imageBytes(const RgbImage& image) {
    std::vector<std::uint8_t> bytes;
    for (std::int32_t y = 0; y < image.height; ++y) {
        bytes.insert(bytes.end(), image.rows[y], image.rows[y] + 3 * image.width);
    }
    return bytes;
}

gdImagePtr paletteImage(int width, int height, const std::vector<int>& colours,
                        const std::vector<int>& indices) {
    gdImagePtr picture = gdImageCreate(width, height);
    for (const int rgb : colours)
        gdImageColorAllocate(picture, rgb >> 16, rgb >> 8 & 0xFF, rgb & 0xFF);
    for (std::size_t at = 0; at < indices.size(); ++at)
        gdImageSetPixel(picture, int(at) % width, int(at) / width, indices[at]);
    return picture;
}

bool withHeadroom(std::size_t headroom, const std::function<bool()>& step) {
    const pid_t child = fork();
    if (child == 0) {
        std::size_t pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlimit limit{pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) + headroom,
                           RLIM_INFINITY};
        _exit(setrlimit(RLIMIT_AS, &limit) == 0 && step() ? 0 : 1);
    }
    int status = -1;
    return waitpid(child, &status, 0) == child && status == 0;
}

}  // namespace testsupport
