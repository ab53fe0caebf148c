// Real GIF files converted at many sizes, compared byte for byte with outputs computed
// independently (tests/data/expected: NAME__W__H.wbmp holds the exact file, NAME__W__H.fail
// means the conversion must fail). In W and H an underscore stands for a blank.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

struct SampleCase {
    std::string gif;
    std::string width;
    std::string height;
    std::string expected;  // file name under tests/data/expected
    bool mustFail = false;
};

void PrintTo(const SampleCase& c, std::ostream* out) {
    *out << c.gif << " \"" << c.width << "\" \"" << c.height << "\"";
}

std::string blanksFromUnderscores(std::string text) {
    std::replace(text.begin(), text.end(), '_', ' ');
    return text;
}

std::vector<SampleCase> sampleCases() {
    std::vector<SampleCase> cases;
    for (const auto& entry : fs::directory_iterator(testsupport::dataPath("expected"))) {
        const std::string name = entry.path().filename().string();
        const std::string extension = entry.path().extension().string();
        if (extension != ".wbmp" && extension != ".fail") continue;
        const std::string stem = entry.path().stem().string();
        const std::size_t first = stem.find("__");
        const std::size_t second = stem.find("__", first + 2);
        if (first == std::string::npos || second == std::string::npos) continue;
        cases.push_back({stem.substr(0, first) + ".gif",
                         blanksFromUnderscores(stem.substr(first + 2, second - first - 2)),
                         blanksFromUnderscores(stem.substr(second + 2)), name,
                         extension == ".fail"});
    }
    std::sort(cases.begin(), cases.end(),
              [](const SampleCase& a, const SampleCase& b) { return a.expected < b.expected; });
    return cases;
}

class Samples : public testing::TestWithParam<SampleCase> {};

TEST_P(Samples, ConvertExactly) {
    const SampleCase& c = GetParam();
    testsupport::ScratchDir dir;
    const std::string source = testsupport::dataPath("gif/" + c.gif);
    const auto sourceBytes = testsupport::readFile(source);
    const testsupport::RunResult run =
        testsupport::runVarnock({source, "out.wbmp", c.width, c.height}, dir.path().string());
    if (c.mustFail) {
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.err, "*** varnock ERROR \"" + source + "\"\n\n");
        EXPECT_FALSE(fs::exists(dir.file("out.wbmp")));
    } else {
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_TRUE(testsupport::readFile(dir.file("out.wbmp")) ==
                    testsupport::readFile(testsupport::dataPath("expected/" + c.expected)))
            << "output differs from " << c.expected;
    }
    EXPECT_EQ(testsupport::readFile(source), sourceBytes);
}

std::string caseName(const testing::TestParamInfo<SampleCase>& info) {
    std::string name = info.param.expected.substr(0, info.param.expected.rfind('.'));
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Expected, Samples, testing::ValuesIn(sampleCases()), caseName);

}  // namespace
