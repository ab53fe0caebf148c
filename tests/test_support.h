// Shared helpers for the tests: scratch folders, file bytes, running the real program, and
// small GIF files.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include <gd.h>

#include "raster/rgb_image.h"

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A file's bytes; a file made of `text`.
std::string readText(const std::string& path);
void writeText(const std::string& path, const std::string& text);

// What a run of the program printed and how it ended.
struct RunResult {
    int exitStatus = -1;  // -1 when it did not exit normally
    std::string out, err;
};

// Runs the bash script `script` in the folder `dir` with no standard input, for `seconds` at
// most; $V names varnock, $W varnock-view, $P the document packer, $D tests/data and $S the
// source tree.
RunResult runScript(const ScratchDir& dir, const std::string& script, int seconds = 60);

// TABLE_TEST(Suite, Name, rows) { body }: a test case for each row of `rows` (tuples), named
// "Suite.Name/FIRST" after the row's first element; the body reads its row with GetParam().
#define TABLE_TEST(Suite, Name, rows)                                                              \
    class Suite : public testing::TestWithParam<std::decay_t<decltype((rows)[0])>> {};             \
    INSTANTIATE_TEST_SUITE_P(, Suite, testing::ValuesIn(rows),                                     \
                             [](const auto& row) { return std::string(std::get<0>(row.param)); }); \
    TEST_P(Suite, Name)

// A row of N numbers after the name of its test case.
template <std::size_t N>
using NamedRow = std::tuple<const char*, std::array<int, N>>;

// A width x height image holding `rgb` (3 bytes a pixel, row by row); fails the current test
// when the block is refused. makeNoise: pseudo-random bytes, the same for the same seed.
RgbImage makeImage(std::int32_t width, std::int32_t height, const Bytes& rgb);
RgbImage makeNoise(int width, int height, unsigned seed);
std::vector<std::uint8_t> imageBytes(const RgbImage& image);

// A width x height palette picture of the colours `colours` (0xRRGGBB) whose pixel (x, y) has
// colour indices[y * width + x], colour 0 past the indices given; the caller destroys it.
gdImagePtr paletteImage(int width, int height, const std::vector<int>& colours,
                        const std::vector<int>& indices);

// Runs `step` in a child process whose address space may grow by `headroom` bytes only; true
// when it returned true. Not for AddressSanitizer builds, whose shadow memory needs an unlimited
// address space.
bool withHeadroom(std::size_t headroom, const std::function<bool()>& step);

}  // namespace testsupport
