// The manual page of varnock repeats the usage text's command line and size examples; these
// checks keep the two from drifting apart.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/messages.h"
#include "test_support.h"

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> manPageLines(const std::string& name) {
    const testsupport::Bytes bytes =
        testsupport::readFile(std::string(VARNOCK_SOURCE_DIR) + "/man/" + name);
    return linesOf(std::string(bytes.begin(), bytes.end()));
}

TEST(ManPage, SizeExamplesAreTheUsageTextsTable) {
    const std::vector<std::string> usage = linesOf(usageText);
    ASSERT_EQ(usage.size(), 20u);
    // Lines 14 to 18 of the usage text: the heading and the four examples.
    const std::vector<std::string> table(usage.begin() + 13, usage.begin() + 18);
    ASSERT_EQ(table[0], "   widthOrZero   heightOrZero   largeur WAP   hauteur WAP");
    const std::vector<std::string> page = manPageLines("varnock.1");
    bool found = false;
    for (std::size_t at = 0; at + table.size() + 2 <= page.size(); ++at) {
        if (page[at] != ".EX") continue;
        const std::vector<std::string> block(
            page.begin() + static_cast<long>(at) + 1,
            page.begin() + static_cast<long>(at + 1 + table.size()));
        if (block == table && page[at + 1 + table.size()] == ".EE") found = true;
    }
    EXPECT_TRUE(found) << "varnock.1 lacks an .EX block holding exactly the usage text's table";
}

TEST(ManPage, SynopsisIsTheUsageTextsCommandLine) {
    const std::vector<std::string> usage = linesOf(usageText);
    ASSERT_GE(usage.size(), 3u);
    std::istringstream words(usage[2]);
    std::vector<std::string> command;
    for (std::string word; words >> word;)
        command.push_back(word);
    ASSERT_EQ(command.size(), 5u);

    const std::vector<std::string> page = manPageLines("varnock.1");
    std::size_t at = 0;
    while (at < page.size() && page[at] != ".SH SYNOPSIS")
        ++at;
    ASSERT_LT(at + 2, page.size());
    EXPECT_EQ(page[at + 1], ".B " + command[0]);
    EXPECT_EQ(page[at + 2],
              ".I " + command[1] + " " + command[2] + " " + command[3] + " " + command[4]);
}

}  // namespace
