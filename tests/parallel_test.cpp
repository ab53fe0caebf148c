// Many conversions at once in one folder, as the README shows them (find | xargs -P): every
// WBMP comes out right and the shared cv.html ends as the page itself, whole.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

using testsupport::Bytes;

TEST(ParallelConversions, OneFolderGivesEveryPictureAndOnePageWhole) {
    const char* names[] = {"giflib-x-trans",   "sharp-grey-2x1",     "nsgif-fuzz-1x32",
                           "giflib-wedge-87a", "giflib-porsche-87a", "ptest-static-transparent"};
    constexpr int copies = 3;
    testsupport::ScratchDir dir;
    std::filesystem::create_directory(dir.path() / "photos");
    for (const char* name : names) {
        for (int copy = 0; copy < copies; ++copy) {
            std::filesystem::copy_file(
                testsupport::dataPath(std::string("gif/") + name + ".gif"),
                dir.path() / "photos" / (name + std::to_string(copy) + ".gif"));
        }
    }
    // The README's command; the second round finds the page already there.
    const std::string command = "cd '" + dir.path().string() +
                                "' && find photos -name '*.gif' -print0 | xargs -0 -n 1 -P 8 "
                                "sh -c '\"$0\" \"$1\" \"${1%.gif}.wbmp\" 0 0 >/dev/null' '" +
                                VARNOCK_EXE + "'";
    for (int round = 0; round < 2; ++round) {
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        for (const char* name : names) {
            const Bytes expected = testsupport::readFile(
                testsupport::dataPath(std::string("expected/") + name + "__0__0.wbmp"));
            for (int copy = 0; copy < copies; ++copy) {
                EXPECT_TRUE(testsupport::readFile(dir.file(
                                "photos/" + (name + std::to_string(copy)) + ".wbmp")) == expected)
                    << name << copy;
            }
        }
        EXPECT_TRUE(testsupport::readFile(dir.file("cv.html")) ==
                    testsupport::readFile(std::string(VARNOCK_SOURCE_DIR) + "/docs/cv.html"));
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "photos" / "cv.html"));
    }
}

}  // namespace
