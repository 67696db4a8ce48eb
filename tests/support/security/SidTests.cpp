// SID values: the well-known ones, copies, and a comparison that never takes
// an empty or broken SID for a real one.
#include "support/security/Sid.h"

#include <gtest/gtest.h>

#include <vector>

#include "TestKeySecurity.h"

namespace {

using ZOLT::SidValue;

constexpr SID_IDENTIFIER_AUTHORITY kNtAuthority = SECURITY_NT_AUTHORITY;

TEST(SidValue, WellKnownSidsAreTheNtAuthoritysOwn) {
    EXPECT_EQ(qvdtest::SidText(ZOLT::AdministratorsSid().Get()), L"S-1-5-32-544");
    EXPECT_EQ(qvdtest::SidText(ZOLT::LocalSystemSid().Get()), L"S-1-5-18");
    EXPECT_EQ(qvdtest::SidText(SidValue(kNtAuthority, {21, 1, 2, 3, 1001}).Get()),
              L"S-1-5-21-1-2-3-1001");
}

TEST(SidValue, ComparesOnlyValidSids) {
    const SidValue admins = ZOLT::AdministratorsSid();
    const SidValue copy = SidValue::CopyOf(admins.Get());
    EXPECT_TRUE(admins.Equals(copy.Get()));
    EXPECT_FALSE(admins.Equals(ZOLT::LocalSystemSid().Get()));

    const SidValue empty;
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(empty.Get(), nullptr);
    EXPECT_FALSE(empty.Equals(admins.Get()));
    EXPECT_FALSE(empty.Equals(nullptr));
    EXPECT_FALSE(admins.Equals(nullptr));

    // Revision 9 does not exist: the bytes are no SID, even where they match.
    std::vector<DWORD> broken(4, 0);
    auto* bytes = reinterpret_cast<BYTE*>(broken.data());
    bytes[0] = 9;
    bytes[1] = 1;
    EXPECT_FALSE(admins.Equals(broken.data()));
    EXPECT_TRUE(SidValue::CopyOf(broken.data()).Empty());
    EXPECT_TRUE(SidValue::CopyOf(nullptr).Empty());
}

// Windows allows 15; Wine's InitializeSid stops at 14.
TEST(SidValue, MoreSubAuthoritiesThanWindowsAllowsGiveNoSid) {
    const SidValue longest(kNtAuthority, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
    EXPECT_FALSE(longest.Empty());
    const SidValue tooLong(kNtAuthority, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    EXPECT_TRUE(tooLong.Empty());
}

}  // namespace
