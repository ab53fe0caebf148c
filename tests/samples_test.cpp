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

// The expected file's name: NAME__W__H.wbmp or .fail, the GIF NAME.gif at W and H.
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
    testsupport::ScratchDir dir;
    const std::string& name = GetParam();
    const bool fails = name.ends_with(".fail");
    // A copy of the GIF converted at the sizes the name gives; the copy is left as it was.
    const auto run = testsupport::runScript(
        dir.path().string(), "f='" + name +
                                 "'; b=${f%.*}; r=${b#*__}; w=${r%%__*}; h=${r#*__}; g=$D/gif/"
                                 "${b%%__*}.gif; cp $g in.gif; \"$V\" in.gif out.wbmp \"${w//_/ "
                                 "}\" \"${h//_/ }\" >/dev/null; echo $?; cmp in.gif $g");
    EXPECT_EQ(run.out, fails ? "1\n" : "0\n");
    EXPECT_EQ(run.err, fails ? "*** varnock ERROR \"in.gif\"\n\n" : "");
    EXPECT_EQ(fs::exists(dir.file("out.wbmp")), !fails);
    EXPECT_TRUE(fails || testsupport::readFile(dir.file("out.wbmp")) ==
                             testsupport::readFile(testsupport::dataPath("expected/" + name)))
        << "output differs from " << name;
}

std::string caseName(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(0, info.param.rfind('.'));
    std::replace_if(
        name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Expected, Samples, testing::ValuesIn(sampleNames()), caseName);

}  // namespace
