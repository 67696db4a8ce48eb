// The upward search for "isolate.ini": which paths it asks about, in order.
#include "support/isolation/IniSearch.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/text/Utf.h"

namespace {

using pxLib::FindFileUpward;

struct Case {
    const char* label;
    std::u16string start;
    std::set<std::u16string> files;
    std::vector<std::u16string> asked;
    uint32_t error;
};

TEST(FindFileUpward, WalksUpToTheRootOfTheDriveOrShare) {
    const std::vector<Case> cases = {
        {"beside the module",
         u"C:\\p\\bin",
         {u"C:\\p\\bin\\isolate.ini"},
         {u"C:\\p\\bin\\isolate.ini"},
         pxLib::kSearchFound},
        {"two folders up",
         u"C:\\p\\bin\\x64",
         {u"C:\\p\\isolate.ini", u"C:\\isolate.ini"},
         {u"C:\\p\\bin\\x64\\isolate.ini", u"C:\\p\\bin\\isolate.ini", u"C:\\p\\isolate.ini"},
         pxLib::kSearchFound},
        {"drive root is the last",
         u"C:\\p\\bin",
         {},
         {u"C:\\p\\bin\\isolate.ini", u"C:\\p\\isolate.ini", u"C:\\isolate.ini"},
         pxLib::kSearchNotFound},
        {"trailing and doubled separators",
         u"C:\\p\\\\bin\\\\",
         {},
         {u"C:\\p\\\\bin\\isolate.ini", u"C:\\p\\isolate.ini", u"C:\\isolate.ini"},
         pxLib::kSearchNotFound},
        {"forward slashes",
         u"C:/p/bin",
         {},
         {u"C:/p/bin\\isolate.ini", u"C:/p\\isolate.ini", u"C:\\isolate.ini"},
         pxLib::kSearchNotFound},
        {"drive root itself",
         u"C:\\",
         {u"C:\\isolate.ini"},
         {u"C:\\isolate.ini"},
         pxLib::kSearchFound},
        {"share root is the last",
         u"\\\\srv\\share\\p",
         {u"\\\\srv\\isolate.ini"},
         {u"\\\\srv\\share\\p\\isolate.ini", u"\\\\srv\\share\\isolate.ini"},
         pxLib::kSearchNotFound},
        {"server name alone", u"\\\\srv", {u"\\\\srv\\isolate.ini"}, {}, pxLib::kSearchNotFound},
        {"extended drive path",
         u"\\\\?\\C:\\p",
         {},
         {u"\\\\?\\C:\\p\\isolate.ini", u"\\\\?\\C:\\isolate.ini"},
         pxLib::kSearchNotFound},
        {"extended share path",
         u"\\\\?\\UNC\\srv\\share\\p",
         {},
         {u"\\\\?\\UNC\\srv\\share\\p\\isolate.ini", u"\\\\?\\UNC\\srv\\share\\isolate.ini"},
         pxLib::kSearchNotFound},
        {"relative path stops at its first folder",
         u"p\\bin",
         {},
         {u"p\\bin\\isolate.ini", u"p\\isolate.ini"},
         pxLib::kSearchNotFound},
        {"empty", u"", {}, {}, pxLib::kSearchNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::u16string> asked;
        const auto result = FindFileUpward(c.start, u"isolate.ini", [&](const std::u16string& p) {
            asked.push_back(p);
            return c.files.count(p) != 0;
        });
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.path, c.error == pxLib::kSearchFound ? asked.back() : u"");
    }
}

TEST(FindFileUpward, APathOverMaxPathEndsTheSearch) {
    // "C:\" + folder + "\isolate.ini": the folder's length sets the total.
    const size_t overhead = 3 + 1 + 11;
    for (size_t total : {size_t{259}, size_t{260}, size_t{261}, size_t{400}}) {
        SCOPED_TRACE(total);
        const std::u16string start = u"C:\\" + std::u16string(total - overhead, u'd');
        std::vector<std::u16string> asked;
        const auto result = FindFileUpward(start, u"isolate.ini", [&](const std::u16string& p) {
            asked.push_back(p);
            return false;
        });
        if (total <= pxLib::kMaxSearchPathChars) {
            EXPECT_EQ(result.error, pxLib::kSearchNotFound);
            EXPECT_EQ(asked.size(), 2u);
            EXPECT_EQ(asked.front().size(), total);
        } else {
            EXPECT_EQ(result.error, pxLib::kSearchPathTooLong);
            EXPECT_TRUE(asked.empty());
        }
    }
}

}  // namespace
