// The host team's table of states, statuses and codes (docs/outcomes.md) and
// the host header cannot drift apart: every constant of QVDHostInterface.h is
// a row of the table, with the header's value.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Name and value ("3", "-2", "0x80047F21") of each result, state, status and code constant.
std::vector<std::pair<std::string, std::string>> HeaderConstants(const std::string& header) {
    static const std::regex constant(
        R"(constexpr\s+(?:int32_t|OBJRESULT)\s+((?:QVD|OBJ)_\w+)\s*=\s*([^;]+);)");
    static const std::regex hex(R"(0x[0-9A-Fa-f]+)");
    std::vector<std::pair<std::string, std::string>> found;
    for (std::sregex_iterator it(header.begin(), header.end(), constant), end; it != end; ++it) {
        const std::string value = (*it)[2];
        std::smatch number;
        found.emplace_back((*it)[1], std::regex_search(value, number, hex) ? number.str() : value);
    }
    return found;
}

TEST(HostDocs, EveryConstantOfTheHostHeaderIsARowOfTheTable) {
    const std::string header = ReadText(QVD_TEST_SOURCE_DIR "/plugin/QVDHostInterface.h");
    const std::string table = ReadText(QVD_TEST_SOURCE_DIR "/docs/outcomes.md");
    ASSERT_FALSE(header.empty());
    ASSERT_FALSE(table.empty());
    const auto constants = HeaderConstants(header);
    // The reading of the header itself: a state, a status, a code and a result.
    std::string names;
    for (const auto& [name, value] : constants) names += name + "=" + value + " ";
    for (const char* known : {"QVD_STATE_LAUNCH_FAILED=-2 ", "QVD_STATUS_ALREADY_INSTALLED=17 ",
                              "QVD_E_DECLINED=0x80047F24 ", "OBJ_OK=0x00010000 "})
        EXPECT_NE(names.find(known), std::string::npos) << known << " in " << names;
    for (const auto& [name, value] : constants) {
        const std::string row = "| `" + name + "` | " + value + " | ";
        EXPECT_NE(table.find(row), std::string::npos) << "docs/outcomes.md has no row " << row;
    }
}

}  // namespace
