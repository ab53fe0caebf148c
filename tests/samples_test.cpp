// Real GIF files converted at many sizes, compared byte for byte with outputs computed
// independently (tests/data/expected: NAME__W__H.wbmp holds the exact file, NAME__W__H.fail
// means the conversion must fail). In W and H an underscore stands for a blank.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// The expected file's name; the GIF and the two size texts are read from it.
class Samples : public testing::TestWithParam<std::string> {};

std::vector<std::string> sampleNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(testsupport::dataPath("expected"))) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".wbmp" || extension == ".fail") names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_P(Samples, ConvertExactly) {
    const std::string& name = GetParam();
    const std::size_t first = name.find("__");
    const std::size_t second = name.find("__", first + 2);
    std::string width = name.substr(first + 2, second - first - 2);
    std::string height = name.substr(second + 2, name.rfind('.') - second - 2);
    std::replace(width.begin(), width.end(), '_', ' ');
    std::replace(height.begin(), height.end(), '_', ' ');
    testsupport::ScratchDir dir;
    const std::string source = testsupport::dataPath("gif/" + name.substr(0, first) + ".gif");
    const auto sourceBytes = testsupport::readFile(source);
    const testsupport::RunResult run = testsupport::runScript(
        dir.path().string(), "\"$V\" '" + source + "' out.wbmp '" + width + "' '" + height + "'");
    const bool fails = name.ends_with(".fail");
    EXPECT_EQ(run.exitStatus, fails ? 1 : 0);
    EXPECT_EQ(run.err, fails ? "*** varnock ERROR \"" + source + "\"\n\n" : "");
    EXPECT_EQ(fs::exists(dir.file("out.wbmp")), !fails);
    EXPECT_TRUE(fails || testsupport::readFile(dir.file("out.wbmp")) ==
                             testsupport::readFile(testsupport::dataPath("expected/" + name)))
        << "output differs from " << name;
    EXPECT_EQ(testsupport::readFile(source), sourceBytes);
}

std::string caseName(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(0, info.param.rfind('.'));
    std::replace_if(
        name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Expected, Samples, testing::ValuesIn(sampleNames()), caseName);

}  // namespace
