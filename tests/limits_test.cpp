// The size limits: the largest GIF picture decoded, the largest raster block, and files that
// announce a picture beyond them.
#include <gtest/gtest.h>

#include <gd.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "raster/gif_load.h"
#include "raster/rgb_image.h"
#include "test_support.h"

namespace {

using testsupport::Bytes;

void putLe16(Bytes* bytes, std::int32_t value) {
    bytes->push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes->push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

// A GIF89a file with the given screen and a first image of the given size at (0, 0) whose pixel
// data is one short LZW run (libgd fills the rest). `between` goes between the global colour
// table, of 2 << tableBits colours, and the image.
Bytes announcingGif(std::int32_t screenWidth, std::int32_t screenHeight, std::int32_t frameWidth,
                    std::int32_t frameHeight, const Bytes& between = {}, int tableBits = 0) {
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
    putLe16(&gif, screenWidth);
    putLe16(&gif, screenHeight);
    gif.insert(gif.end(), {static_cast<std::uint8_t>(0x80 | tableBits), 0, 0});
    // Colour bytes that would read as an image of 65535 x 65535 if the table were not skipped
    // whole: an image introducer, then 0xFF.
    for (int at = 0; at < 3 * (2 << tableBits); ++at)
        gif.push_back(at % 12 == 3 ? ',' : 0xFF);
    gif.insert(gif.end(), between.begin(), between.end());
    gif.push_back(',');
    putLe16(&gif, 0);
    putLe16(&gif, 0);
    putLe16(&gif, frameWidth);
    putLe16(&gif, frameHeight);
    gif.insert(gif.end(), {0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B});
    return gif;
}

struct WalkCount {
    int sizeCalls = 0, endCalls = 0;
    std::int32_t width = -1, height = -1;
    std::int64_t pixels = 0;
};

std::int32_t countWalk(const std::string& path, WalkCount* count) {
    return loadGifRaster(
        path.c_str(),
        [](void* user, std::int32_t width, std::int32_t height) {
            auto* c = static_cast<WalkCount*>(user);
            ++c->sizeCalls;
            c->width = width;
            c->height = height;
        },
        [](void* user) { ++static_cast<WalkCount*>(user)->endCalls; },
        [](void* user, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
            ++static_cast<WalkCount*>(user)->pixels;
        },
        count);
}

TEST(GifCeiling, FirstImagesUpToTheCeilingAreWalkedAndLargerOnesRefusedWithoutACallback) {
    struct Case {
        std::int32_t screenWidth, screenHeight, width, height;
        bool accepted;
    };
    const Case cases[] = {
        {4096, 4096, 4096, 4096, true},       // exactly gifMaxPixels
        {65535, 65535, 2, 2, true},           // a huge screen does not matter
        {65535, 65535, 4096, 4097, false},    // one row more
        {65535, 65535, 4097, 4096, false},    // one column more
        {65535, 65535, 65535, 257, false},    // one row past it the other way
        {65535, 65535, 46340, 46340, false},  // the largest square libgd would build
        {65535, 65535, 65535, 65535, false},
    };
    testsupport::ScratchDir dir;
    const std::string path = dir.file("huge.gif");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        testsupport::writeFile(path,
                               announcingGif(c.screenWidth, c.screenHeight, c.width, c.height));
        WalkCount count;
        if (c.accepted) {
            EXPECT_EQ(countWalk(path, &count), 0);
            EXPECT_EQ(count.sizeCalls, 1);
            EXPECT_EQ(count.width, c.width);
            EXPECT_EQ(count.height, c.height);
            EXPECT_EQ(count.pixels, std::int64_t{c.width} * c.height);
            EXPECT_EQ(count.endCalls, 1);
            continue;
        }
        EXPECT_EQ(countWalk(path, &count), gifLoadNoImage);
        EXPECT_EQ(count.sizeCalls + count.endCalls + count.pixels, 0);
        RgbImage image{};
        EXPECT_EQ(loadGifImage(&image, path.c_str()), statusLoadFailed);
        EXPECT_EQ(image.status, statusLoadFailed);
        EXPECT_EQ(image.rows, nullptr);
    }
}

// What decodeGifStream makes of `bytes`: its result, the picture's size, and how far libgd read.
struct Decoded {
    std::int32_t result = -1;
    std::int32_t width = -1, height = -1;
    std::int64_t bytesRead = -1;
};

Decoded decodeBytes(const Bytes& bytes, GifLimits limits) {
    Decoded decoded;
    Bytes copy = bytes;
    std::FILE* stream = fmemopen(copy.data(), copy.size(), "rb");
    if (stream == nullptr) return decoded;
    gdImagePtr picture = nullptr;
    decoded.result = decodeGifStream(stream, limits, &picture, &decoded.bytesRead);
    std::fclose(stream);
    if (picture != nullptr) {
        decoded.width = gdImageSX(picture);
        decoded.height = gdImageSY(picture);
        gdImageDestroy(picture);
    }
    return decoded;
}

// The offset just past the last image descriptor of width x height in `gif`.
std::int64_t descriptorEnd(const Bytes& gif, std::int32_t width, std::int32_t height) {
    const Bytes sizes = {
        static_cast<std::uint8_t>(width & 0xFF), static_cast<std::uint8_t>(width >> 8),
        static_cast<std::uint8_t>(height & 0xFF), static_cast<std::uint8_t>(height >> 8)};
    const auto at = std::find_end(gif.begin(), gif.end(), sizes.begin(), sizes.end());
    return (at - gif.begin()) + 5;
}

TEST(GifCeiling, TheFirstImageIsFoundAsLibgdReadsTheBlocksAndAHugeOneIsRefusedBeforeItIsRead) {
    // The graphic control extension's first sub-block is read whatever its count, so "21 F9 00"
    // is followed by more sub-blocks, which hide a trailer or the descriptor of a huge picture.
    // Other extensions end at their first empty sub-block; stray bytes between blocks are skipped;
    // a global colour table is skipped whole.
    Bytes hidingTrailer = {0x21, 0xF9, 0x00, 0x3B};  // 0x3B: the trailer, or a count of 59
    hidingTrailer.insert(hidingTrailer.end(), 59, 0x41);
    hidingTrailer.push_back(0x00);
    const Bytes hidingHugeImage = {0x21, 0xF9, 0x00, 0x0A, ',',  0, 0,   0,
                                   0,    0xFF, 0xFF, 0xFF, 0xFF, 0, 0x00};
    const Bytes mixed = {
        0x21, 0xF9, 0x04, ',',  0xFF, 0xFF, 0xFF, 0x02, 0xFF, 0xFF, 0x00,        // control
        0x21, 0xFE, 0x0B, 0x00, ',',  0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,  // comment
        0xFF, 0x00, 0x00,                                                        // its end
        0x00, 0x7F, 0x3A,                                                        // stray
        0x21, 0xFF, 0x03, ',',  ',',  ',',  0x02, 0xFF, 0xFF, 0x00};             // two blocks
    struct Case {
        const char* name;
        Bytes gif;
        std::int32_t width, height;  // the first image as libgd reads it
    };
    const Case cases[] = {
        // The 99-byte file of the report: 46340 x 46340 behind a trailer the control hides.
        {"control hides a trailer", announcingGif(46340, 46340, 46340, 46340, hidingTrailer, 0),
         46340, 46340},
        {"control hides a huge image", announcingGif(4, 4, 4, 4, hidingHugeImage, 0), 4, 4},
        {"mixed blocks, huge", announcingGif(65535, 65535, 40000, 40000, mixed, 7), 40000, 40000},
        {"mixed blocks, small", announcingGif(65535, 65535, 3, 2, mixed, 7), 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = decodeBytes(c.gif, gifLimits);
        if (std::int64_t{c.width} * c.height <= gifMaxPixels) {
            EXPECT_EQ(decoded.result, 0);
            EXPECT_EQ(decoded.width, c.width);
            EXPECT_EQ(decoded.height, c.height);
            continue;
        }
        EXPECT_EQ(decoded.result, gifLoadNoImage);
        EXPECT_LT(decoded.bytesRead, descriptorEnd(c.gif, c.width, c.height));
    }
    EXPECT_EQ(announcingGif(46340, 46340, 46340, 46340, hidingTrailer, 0).size(), 99u);
}

TEST(GifBudget, LibgdReadsUpToTheBudgetAndTheByteAfterIsRefused) {
    // A 4 x 4 picture behind stray bytes: libgd reads 34 bytes and the padding, up to the empty
    // sub-block that ends the LZW data.
    const GifLimits limits = {gifMaxPixels, 100};
    const auto padded = [](std::size_t stray) {
        return announcingGif(4, 4, 4, 4, Bytes(stray, 0x00));
    };
    Bytes after = padded(66);
    after.insert(after.end(), 1000, 0x00);  // past the trailer: never read
    Bytes cut = padded(67);
    cut.resize(100);  // ends inside the LZW data, where libgd wants one byte more
    Bytes endless = padded(0);
    endless.resize(19);  // the screen and its colour table, then only stray bytes
    endless.resize(5000, 0x00);
    struct Case {
        const char* name;
        Bytes gif;
        std::int32_t result;
        std::int64_t bytesRead;
    };
    const Case cases[] = {
        {"within", padded(65), 0, 99},
        {"exactly", padded(66), 0, 100},
        {"one byte over", padded(67), gifLoadNoImage, 100},
        {"bytes after the picture", after, 0, 100},
        {"the stream ends at the budget", cut, 0, 100},
        {"endless stray bytes", endless, gifLoadNoImage, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded decoded = decodeBytes(c.gif, limits);
        EXPECT_EQ(decoded.result, c.result);
        EXPECT_EQ(decoded.bytesRead, c.bytesRead);
    }
}

// What a shell command line did: its exit status (-1 when it did not exit), what it printed.
struct ShellRun {
    int status = -1;
    std::string out, err;
};

// Runs `script` with bash in `dir`, with the program's path in $V, under `timeout 20`, so that a
// run that never ends fails the test (status 124) instead of hanging it.
ShellRun runShell(const testsupport::ScratchDir& dir, const std::string& script) {
    const std::string command = "cd '" + dir.path().string() +
                                "' && V='" VARNOCK_EXE "' timeout 20 bash -c '" + script +
                                "' >shell.out 2>shell.err </dev/null";
    const int status = std::system(command.c_str());
    ShellRun run;
    if (status != -1 && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    const Bytes out = testsupport::readFile(dir.file("shell.out"));
    const Bytes err = testsupport::readFile(dir.file("shell.err"));
    run.out.assign(out.begin(), out.end());
    run.err.assign(err.begin(), err.end());
    return run;
}

TEST(GifSources, PipesFifosAndStandardInputGiveWhatTheFileGives) {
    const Bytes picture = testsupport::readFile(testsupport::dataPath("gif/giflib-x-trans.gif"));
    Bytes cut = picture;
    cut.resize(picture.size() / 2);
    Bytes hidden = announcingGif(46340, 46340, 46340, 46340, {0x21, 0xF9, 0x00, 0x3B});
    const std::pair<const char*, Bytes> inputs[] = {
        {"a picture", picture},
        {"a picture cut short", cut},
        {"a huge picture behind a control extension", hidden},
        {"a huge picture", announcingGif(65535, 65535, 40000, 40000)},
        {"not a GIF", {'G', 'I', 'F', '8', '7'}},
    };
    // How each source hands the file in.gif to the program, and the name the program is given.
    const std::pair<const char*, const char*> sources[] = {
        {"cat in.gif | \"$V\" /dev/stdin out.wbmp 0 0", "/dev/stdin"},
        {"\"$V\" /dev/stdin out.wbmp 0 0 <in.gif", "/dev/stdin"},
        {"\"$V\" <(cat in.gif) out.wbmp 0 0", "/dev/fd/"},
        {"mkfifo fifo && { cat in.gif >fifo & } && \"$V\" fifo out.wbmp 0 0", "fifo"},
    };
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name);
        testsupport::ScratchDir dir;
        testsupport::writeFile(dir.file("in.gif"), bytes);
        const ShellRun fromFile = runShell(dir, "\"$V\" in.gif out.wbmp 0 0");
        ASSERT_TRUE(fromFile.status == 0 || fromFile.status == 1);
        const bool written = fromFile.status == 0;
        const Bytes fileResult = written ? testsupport::readFile(dir.file("out.wbmp")) : Bytes{};
        for (const auto& [script, shownName] : sources) {
            SCOPED_TRACE(script);
            std::filesystem::remove(dir.file("out.wbmp"));
            std::filesystem::remove(dir.file("fifo"));
            ShellRun run = runShell(dir, script);
            const std::size_t shown = run.err.find(shownName);
            if (shown != std::string::npos) {
                const std::size_t end = run.err.find('"', shown);
                run.err.replace(shown, end - shown, "in.gif");
            }
            EXPECT_EQ(run.status, fromFile.status);
            EXPECT_EQ(run.out, fromFile.out);
            EXPECT_EQ(run.err, fromFile.err);
            EXPECT_EQ(std::filesystem::exists(dir.file("out.wbmp")), written);
            if (written) {
                EXPECT_EQ(testsupport::readFile(dir.file("out.wbmp")), fileResult);
            }
        }
    }
}

TEST(GifBudget, EndlessAndPaddedSourcesAreRefusedAndBytesAfterThePictureAreNotRead) {
    testsupport::ScratchDir dir;
    const Bytes small = announcingGif(4, 4, 4, 4);
    Bytes screen = small;
    screen.resize(19);  // signature, screen and colour table
    testsupport::writeFile(dir.file("screen.bin"), screen);
    testsupport::writeFile(dir.file("rest.bin"), Bytes(small.begin() + 19, small.end()));
    testsupport::writeFile(dir.file("small.gif"), small);
    // A sparse file: the screen, 1 GiB of zero bytes that libgd skips one by one, the picture.
    ASSERT_EQ(runShell(dir,
                       "cp screen.bin padded.gif && truncate -s +1G padded.gif && "
                       "cat rest.bin >>padded.gif")
                  .status,
              0);
    const ShellRun reference = runShell(dir, "\"$V\" small.gif small.wbmp 0 0");
    ASSERT_EQ(reference.status, 0);
    struct Case {
        const char* script;
        int status;
    };
    const Case cases[] = {
        {"cat screen.bin /dev/zero | \"$V\" /dev/stdin out.wbmp 0 0", 1},
        {"\"$V\" padded.gif out.wbmp 0 0", 1},
        {"cat small.gif /dev/zero | \"$V\" /dev/stdin out.wbmp 0 0", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        std::filesystem::remove(dir.file("out.wbmp"));
        const ShellRun run = runShell(dir, c.script);
        EXPECT_EQ(run.status, c.status);
        if (c.status == 0) {
            EXPECT_EQ(testsupport::readFile(dir.file("out.wbmp")),
                      testsupport::readFile(dir.file("small.wbmp")));
        } else {
            EXPECT_NE(run.err.find("varnock ERROR"), std::string::npos);
            EXPECT_FALSE(std::filesystem::exists(dir.file("out.wbmp")));
        }
    }
}

TEST(RasterCeiling, ABlockOfExactlyTheCeilingIsAllocatedAndOneMorePixelIsRefused) {
    // 2 row pointers + 2 rows of 178,956,968 pixels = 16 + 1,073,741,808 bytes = 2^30.
    RgbImage image{};
    ASSERT_EQ(rgbImageAlloc(&image, 178956968, 2), 0);
    EXPECT_EQ(image.rows[1] - image.rows[0], 3 * 178956968);
    rgbImageFree(&image);

    EXPECT_EQ(rgbImageAlloc(&image, 178956969, 2), 1);
    EXPECT_EQ(image.status, statusAllocRefused);
    EXPECT_EQ(image.rows, nullptr);
}

}  // namespace
