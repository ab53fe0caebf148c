// writeWbmpFile: the bytes of the file, what happens to an existing destination, and every
// way the write can fail (no bitmap, no destination, a device or file that refuses the bytes).
#include "mono/wbmp_export.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
using testsupport::imageBytes;
using testsupport::makeGreyImage;
using testsupport::makeImage;
using testsupport::readFile;
using testsupport::ScratchDir;
using testsupport::writeFile;

const Bytes tenByTwoWhite{0x00, 0x00, 0x0A, 0x02, 0xFF, 0xC0, 0xFF, 0xC0};

// True when every pixel of the image is (0, 0, 0) or (255, 255, 255).
bool onlyBlackAndWhite(const RgbImage& image) {
    const Bytes bytes = imageBytes(image);
    for (std::size_t at = 0; at + 2 < bytes.size(); at += 3) {
        if (bytes[at] != bytes[at + 1] || bytes[at] != bytes[at + 2]) return false;
        if (bytes[at] != 0 && bytes[at] != 255) return false;
    }
    return true;
}

// Writes a greyscale picture to `path` and returns the result.
std::int32_t writeGreys(std::int32_t width, std::int32_t height, const std::vector<int>& greys,
                        const std::string& path) {
    RgbImage image = makeGreyImage(width, height, greys);
    const std::int32_t result = writeWbmpFile(&image, path.c_str());
    EXPECT_TRUE(onlyBlackAndWhite(image));
    rgbImageFree(&image);
    return result;
}

TEST(WbmpExport, PicturesAndTheirFiles) {
    struct Case {
        const char* what;
        std::int32_t width, height;
        std::vector<int> greys;
        Bytes file;
    };
    const Case cases[] = {
        {"10 x 2 white", 10, 2, std::vector<int>(20, 255), tenByTwoWhite},
        {"10 x 2 black: mean 0, all white", 10, 2, std::vector<int>(20, 0), tenByTwoWhite},
        {"9 x 3 black",
         9,
         3,
         std::vector<int>(27, 0),
         {0x00, 0x00, 0x09, 0x03, 0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80}},
        {"4 x 2 grey 100: checkerboard",
         4,
         2,
         std::vector<int>(8, 100),
         {0x00, 0x00, 0x04, 0x02, 0xA0, 0x50}},
        {"3 x 2 with mean 124",
         3,
         2,
         {160, 230, 0, 230, 0, 128},
         {0x00, 0x00, 0x03, 0x02, 0xC0, 0xA0}},
        {"one white stroke on black", 3, 1, {0, 255, 0}, {0x00, 0x00, 0x03, 0x01, 0x40}},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file("out.wbmp");
        fs::remove(path);
        EXPECT_EQ(writeGreys(c.width, c.height, c.greys, path), 0);
        EXPECT_EQ(readFile(path), c.file);
    }
}

TEST(WbmpExport, LargeSidesGetMultiByteSizes) {
    ScratchDir dir;
    const std::string path = dir.file("wide.wbmp");
    EXPECT_EQ(writeGreys(200, 130, std::vector<int>(200 * 130, 255), path), 0);
    const Bytes file = readFile(path);
    ASSERT_EQ(file.size(), 6u + 25 * 130);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), (Bytes{0x00, 0x00, 0x81, 0x48, 0x81, 0x02}));
    EXPECT_EQ(Bytes(file.begin() + 6, file.end()), Bytes(25 * 130, 0xFF));
}

TEST(WbmpExport, ASinglePixelOfAnyColourIsOneWhitePixel) {
    const std::uint8_t colours[][3] = {{0, 0, 0},     {255, 255, 255}, {255, 0, 0},
                                       {0, 128, 255}, {10, 20, 30},    {127, 127, 127}};
    ScratchDir dir;
    for (const auto& colour : colours) {
        SCOPED_TRACE(testing::Message()
                     << int{colour[0]} << "," << int{colour[1]} << "," << int{colour[2]});
        const std::string path = dir.file("dot.wbmp");
        RgbImage image = makeImage(1, 1, {colour[0], colour[1], colour[2]});
        EXPECT_EQ(writeWbmpFile(&image, path.c_str()), 0);
        EXPECT_EQ(imageBytes(image), (Bytes{255, 255, 255}));
        rgbImageFree(&image);
        EXPECT_EQ(readFile(path), (Bytes{0x00, 0x00, 0x01, 0x01, 0x80}));
    }
}

TEST(WbmpExport, AnExistingDestinationIsReplacedNotAppendedTo) {
    ScratchDir dir;
    const std::string path = dir.file("old.wbmp");
    writeFile(path, Bytes(100, 0x33));
    EXPECT_EQ(writeGreys(10, 2, std::vector<int>(20, 255), path), 0);
    EXPECT_EQ(readFile(path), tenByTwoWhite);
}

TEST(WbmpExport, AMissingDirectoryGivesOneAndCreatesNothing) {
    ScratchDir dir;
    const std::string path = dir.file("absent/out.wbmp");
    EXPECT_EQ(writeGreys(10, 2, std::vector<int>(20, 255), path), 1);
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(WbmpExport, ADirectoryAsDestinationGivesOneAndStays) {
    ScratchDir dir;
    const std::string path = dir.file("folder");
    fs::create_directory(path);
    EXPECT_EQ(writeGreys(10, 2, std::vector<int>(20, 255), path), 1);
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_TRUE(fs::is_empty(path));
}

TEST(WbmpExport, PicturesWithoutPixelsGiveOneAndTouchNoFile) {
    struct Case {
        std::int32_t width, height;
    };
    const Case cases[] = {{0, 2}, {3, 0}, {0, 0}};
    ScratchDir dir;
    const std::string existing = dir.file("keep.wbmp");
    const Bytes before{0x01, 0x02, 0x03};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        writeFile(existing, before);
        RgbImage image = makeImage(c.width, c.height, {});
        ASSERT_EQ(image.status, 0);
        EXPECT_EQ(writeWbmpFile(&image, existing.c_str()), 1);
        EXPECT_EQ(readFile(existing), before);

        const std::string fresh = dir.file("fresh.wbmp");
        EXPECT_EQ(writeWbmpFile(&image, fresh.c_str()), 1);
        EXPECT_FALSE(fs::exists(fresh));
        rgbImageFree(&image);
    }
}

TEST(WbmpExport, AFullDeviceGivesOneAndIsNotRemoved) {
    // /dev/full opens fine and refuses every byte at the flush. The call reaches it through a
    // link in the scratch folder, so that a wrong removal takes the link and never the device.
    struct stat device {};
    if (stat("/dev/full", &device) != 0 || !S_ISCHR(device.st_mode) ||
        access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no writable /dev/full here";
    }
    ScratchDir dir;
    const std::string link = dir.file("full.wbmp");
    fs::create_symlink("/dev/full", link);
    EXPECT_EQ(writeGreys(10, 2, std::vector<int>(20, 255), link), 1);
    EXPECT_TRUE(fs::is_symlink(link));
    struct stat after {};
    ASSERT_EQ(stat("/dev/full", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
}

// Runs writeWbmpFile on a 10 x 2 white picture in a child process whose files may not grow
// beyond `limit` bytes (writes past it fail with EFBIG), and returns the child's result, or -1
// when the child did not exit normally.
int writeUnderFileSizeLimit(const std::string& path, rlim_t limit) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &small) != 0) _exit(100);
        RgbImage image = makeGreyImage(10, 2, std::vector<int>(20, 255));
        if (image.status != 0) _exit(101);
        const std::int32_t result = writeWbmpFile(&image, path.c_str());
        rgbImageFree(&image);
        _exit(result);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(WbmpExport, AFileThisCallCreatedIsRemovedWhenWritingFails) {
    // The file is created, then only part of the 8 bytes (or none) can be written.
    ScratchDir dir;
    for (const rlim_t limit : {rlim_t{0}, rlim_t{4}, rlim_t{7}}) {
        SCOPED_TRACE(limit);
        const std::string path = dir.file("new.wbmp");
        EXPECT_EQ(writeUnderFileSizeLimit(path, limit), 1);
        EXPECT_FALSE(fs::exists(path));
    }
    // With room for the whole file, the same call succeeds.
    const std::string path = dir.file("new.wbmp");
    EXPECT_EQ(writeUnderFileSizeLimit(path, 8), 0);
    EXPECT_EQ(readFile(path), tenByTwoWhite);
}

TEST(WbmpExport, AnExistingFileIsKeptWhenWritingFails) {
    // Opening an existing file empties it; a failed write then leaves what fitted, and the
    // file, which the call did not create, stays.
    ScratchDir dir;
    const std::string path = dir.file("old.wbmp");
    writeFile(path, Bytes(50, 0x33));
    EXPECT_EQ(writeUnderFileSizeLimit(path, 4), 1);
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(readFile(path), (Bytes{0x00, 0x00, 0x0A, 0x02}));
}

}  // namespace
