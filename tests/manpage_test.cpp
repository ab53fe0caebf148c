// The manual page of varnock repeats the usage text's command line and size examples; these
// checks keep the two from drifting apart.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/messages.h"
#include "test_support.h"

namespace {

std::vector<std::string> usageLines() {
    std::vector<std::string> lines;
    std::istringstream in(usageText);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string manPage() {
    const testsupport::Bytes bytes =
        testsupport::readFile(std::string(VARNOCK_SOURCE_DIR) + "/man/varnock.1");
    return std::string(bytes.begin(), bytes.end());
}

TEST(ManPage, SizeExamplesAreTheUsageTextsTable) {
    // Lines 14 to 18 of the usage text: the heading and the four examples.
    const std::vector<std::string> usage = usageLines();
    ASSERT_EQ(usage.size(), 20u);
    ASSERT_EQ(usage[13], "   widthOrZero   heightOrZero   largeur WAP   hauteur WAP");
    std::string block = "\n.EX\n";
    for (std::size_t line = 13; line < 18; ++line)
        block += usage[line] + "\n";
    EXPECT_NE(manPage().find(block + ".EE\n"), std::string::npos)
        << "varnock.1 lacks an .EX block holding exactly" << block;
}

TEST(ManPage, SynopsisIsTheUsageTextsCommandLine) {
    std::istringstream words(usageLines().at(2));
    const std::vector<std::string> command{std::istream_iterator<std::string>(words), {}};
    ASSERT_EQ(command.size(), 5u);
    const std::string synopsis = ".SH SYNOPSIS\n.B " + command[0] + "\n.I " + command[1] + " " +
                                 command[2] + " " + command[3] + " " + command[4] + "\n";
    EXPECT_NE(manPage().find(synopsis), std::string::npos) << synopsis;
}

}  // namespace
