#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/isolation/IsolationSettings.h"

namespace {

TEST(IsValidSiloGuid, WantsABracedGuidOfEitherCase) {
    struct Case {
        std::u16string silo;
        bool valid;
    };
    const std::vector<Case> cases = {
        {u"{ABCDEF01-2345-6789-ABCD-EF0123456789}", true},
        {u"{abcdef01-2345-6789-abcd-ef0123456789}", true},
        {u"{AbCdEf01-2345-6789-aBcD-eF0123456789}", true},
        {u"ABCDEF01-2345-6789-ABCD-EF0123456789", false},
        {u"{ABCDEF01-2345-6789-ABCD-EF0123456789", false},
        {u"ABCDEF01-2345-6789-ABCD-EF0123456789}", false},
        {u"{ABCDEF01-2345-6789-ABCD-EF01234567890}", false},
        {u"{ABCDEF01-2345-6789-ABCD-EF012345678}", false},
        {u"{ABCDEF0-12345-6789-ABCD-EF0123456789}", false},
        {u"{ABCDEF01-2345-6789-ABCD0EF0123456789}", false},
        {u"{ABCDEF01-2345-6789-ABCD-EF012345678G}", false},
        {u"{ABCDEF01 2345-6789-ABCD-EF0123456789}", false},
        {u"(ABCDEF01-2345-6789-ABCD-EF0123456789)", false},
        {u"{ABCDEF01-2345-6789-ABCD-EF012345678\uFF19}", false},
        {u"{------------------------------------}", false},
        {u"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.silo.begin(), c.silo.end()));
        EXPECT_EQ(pxLib::IsValidSiloGuid(c.silo), c.valid);
    }
}

}  // namespace
