// writeWbmpFile: the bytes of the file, what happens to an existing destination, and the ways
// the write can fail.
#include "mono/wbmp_export.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;

const Bytes tenByTwoWhite{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xC0, 0xFF, 0xC0};

std::int32_t writeRgb(std::int32_t width, std::int32_t height, const Bytes& rgb,
                      const std::string& path) {
    RgbImage image = testsupport::makeImage(width, height, rgb);
    const std::int32_t result = writeWbmpFile(&image, path.c_str());
    rgbImageFree(&image);
    return result;
}

Bytes greys(const std::vector<int>& values) {
    Bytes rgb;
    for (const int value : values)
        rgb.insert(rgb.end(), 3, static_cast<std::uint8_t>(value));
    return rgb;
}

// `head` followed by 0xFF bytes up to `size` bytes.
Bytes padded(Bytes head, std::size_t size) {
    head.resize(size, 0xFF);
    return head;
}

TEST(WbmpExport, PicturesAndTheirFiles) {
    // A picture all black has mean 0, is dithered at 1 and stays black.
    // clang-format off
    struct Case { std::int32_t width, height; Bytes rgb, file; };
    const Case cases[] = {
        {10, 2, greys(std::vector<int>(20, 255)), tenByTwoWhite},
        {10, 2, greys(std::vector<int>(20, 0)), {0, 0, 10, 2, 0, 0, 0, 0}},
        {9, 3, greys(std::vector<int>(27, 255)), {0, 0, 9, 3, 0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80}},
        {4, 2, greys(std::vector<int>(8, 100)), {0, 0, 4, 2, 0xA0, 0x50}},
        {3, 2, greys({160, 230, 0, 230, 0, 128}), {0, 0, 3, 2, 0xC0, 0xA0}},
        {3, 1, greys({0, 255, 0}), {0, 0, 3, 1, 0x40}},
        {1, 1, {10, 20, 30}, {0, 0, 1, 1, 0x80}},
        {200, 130, greys(std::vector<int>(200 * 130, 255)), padded({0, 0, 0x81, 0x48, 0x81, 0x02}, 6 + 25 * 130)}};
    // clang-format on
    ScratchDir dir;
    const std::string path = dir.file("out.wbmp");
    writeFile(path, Bytes(10000, 0x33));  // replaced, not appended to
    for (const Case& c : cases) {
        EXPECT_EQ(writeRgb(c.width, c.height, c.rgb, path), 0);
        EXPECT_EQ(readFile(path), c.file) << c.width << " x " << c.height;
    }
}

TEST(WbmpExport, PicturesWithoutPixelsAndUnusableDestinationsGiveOne) {
    ScratchDir dir;
    const std::string existing = dir.file("keep.wbmp");
    writeFile(existing, {1, 2, 3});
    EXPECT_EQ(writeRgb(0, 2, {}, existing), 1);
    EXPECT_EQ(writeRgb(0, 2, {}, dir.file("fresh.wbmp")), 1);
    EXPECT_EQ(readFile(existing), (Bytes{1, 2, 3}));
    EXPECT_FALSE(fs::exists(dir.file("fresh.wbmp")));

    const Bytes white = greys(std::vector<int>(20, 255));
    EXPECT_EQ(writeRgb(10, 2, white, dir.file("absent/out.wbmp")), 1);
    EXPECT_FALSE(fs::exists(dir.file("absent")));

    // /dev/full opens and refuses every byte; reached through a link in the scratch folder so
    // that a wrong removal takes the link, never the device.
    if (access("/dev/full", W_OK) != 0) return;
    fs::create_symlink("/dev/full", dir.file("full.wbmp"));
    EXPECT_EQ(writeRgb(10, 2, white, dir.file("full.wbmp")), 1);
    EXPECT_TRUE(fs::is_symlink(dir.file("full.wbmp")));
}

// Writes a 10 x 2 white picture in a child whose files may not grow beyond `limit` bytes, and
// returns the child's result (-1 when it did not exit normally).
int writeUnderFileSizeLimit(const std::string& path, rlim_t limit) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &small) != 0) _exit(100);
        _exit(writeRgb(10, 2, greys(std::vector<int>(20, 255)), path));
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// A write cut short leaves no file behind, and an existing file keeps every byte.
TEST(WbmpExport, AFailedWriteLeavesTheFolderAsItWas) {
    ScratchDir dir;
    const std::string path = dir.file("out.wbmp");
    for (const rlim_t limit : {rlim_t{0}, rlim_t{4}, rlim_t{7}}) {
        EXPECT_EQ(writeUnderFileSizeLimit(path, limit), 1) << limit;
        EXPECT_TRUE(fs::is_empty(dir.path())) << limit;
    }
    EXPECT_EQ(writeUnderFileSizeLimit(path, 8), 0);
    EXPECT_EQ(readFile(path), tenByTwoWhite);
    writeFile(path, Bytes(50, 0x33));
    EXPECT_EQ(writeUnderFileSizeLimit(path, 4), 1);
    EXPECT_EQ(readFile(path), Bytes(50, 0x33));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
