// Real GIF files converted at many sizes, compared byte for byte with outputs computed
// independently: tests/data/expected/NAME__W__H.wbmp holds the exact file that gif/NAME.gif gives
// at W and H, NAME__W__H.fail means that conversion must fail (exit status 1, the error message,
// no file). In W and H an underscore stands for a blank. One test case a GIF.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "test_support.h"

namespace {

// The GIFs in tests/data/gif/: a test case's name (the GIF's, "_" for "-") and the GIF's.
std::vector<std::tuple<std::string, std::string>> gifs() {
    std::vector<std::tuple<std::string, std::string>> gifs;
    for (const auto& entry : std::filesystem::directory_iterator(VARNOCK_TEST_DATA "/gif")) {
        const std::string name = entry.path().stem().string();
        if (entry.path().extension() == ".gif")
            gifs.emplace_back(std::regex_replace(name, std::regex("-"), "_"), name);
    }
    return gifs;
}

// Each conversion works on a copy of the GIF, which must be left as it was; the script prints the
// name of every expected file whose conversion differs, and says so when the GIF has none.
TABLE_TEST(Samples, ConvertExactly, gifs()) {
    testsupport::ScratchDir dir;
    const auto run = testsupport::runScript(dir, "n='" + std::get<1>(GetParam()) + "'" + R"(
shopt -s nullglob; set -- "$D"/expected/"$n"__*.{wbmp,fail}; [ $# != 0 ] || echo "none for $n.gif"
printf '*** varnock ERROR "in.gif"\n\n' >failed
for e; do
    f=${e##*/}; b=${f%.*}; r=${b#*__}; w=${r%%__*}; h=${r#*__}; g=$D/gif/${b%%__*}.gif
    rm -f out.wbmp; cp "$g" in.gif
    "$V" in.gif out.wbmp "${w//_/ }" "${h//_/ }" >/dev/null 2>err; s=$?
    if [ "$f" = "$b.fail" ]; then [ $s = 1 ] && cmp -s err failed && [ ! -e out.wbmp ]
    else [ $s = 0 ] && [ ! -s err ] && cmp -s out.wbmp "$e"; fi && cmp -s in.gif "$g" || echo "$f"
done)",
                                            280);  // within the test's 300 s
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, "") << "these conversions differ from their expected files";
}

}  // namespace
