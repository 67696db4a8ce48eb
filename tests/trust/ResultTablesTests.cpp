// The verifier's fixed tables: the verdict provider's bits, the platform trust
// provider's results, and the object model's codes as HRESULTs.
#include "trust/ObjectResultTranslation.h"
#include "trust/ProviderVerdict.h"
#include "trust/TrustResultMap.h"

#include <gtest/gtest.h>

namespace {

using pxLib::TrustLevel;
using pxLib::ValidationError;

constexpr ValidationError T = ValidationError::VT_TRUSTED;
constexpr ValidationError N = ValidationError::VT_NOT_TRUSTED;
constexpr ValidationError NoInfo = ValidationError::VT_NO_SIGNATURE_INFO;

TEST(ProviderVerdict, EachLevelReadsItsOwnBits) {
    const struct {
        uint32_t flags;
        TrustLevel level;
        bool driverPolicy;
        ValidationError verdict;
    } cases[] = {
        {0x01, TrustLevel::SignedAny, false, T},
        {0x3E, TrustLevel::SignedAny, false, N},
        {0x02, TrustLevel::SignedCode, false, T},
        {0x04, TrustLevel::SignedCode, false, T},
        {0x39, TrustLevel::SignedCode, false, N},
        {0x08, TrustLevel::SignedByMaker, false, T},
        {0x37, TrustLevel::SignedByMaker, false, N},
        {0x10, TrustLevel::SignedByPlatform, false, T},
        {0x10, TrustLevel::SignedByPlatform, true, N},
        {0x50, TrustLevel::SignedByPlatform, true, T},
        {0x4F, TrustLevel::SignedByPlatform, true, N},
        // Level 5 and anything else read the level-1 bit.
        {0x01, TrustLevel::SignedByAltPublisher, false, T},
        {0x1E, TrustLevel::SignedByAltPublisher, false, N},
        {0x01, static_cast<TrustLevel>(9), false, T},
    };
    for (const auto& c : cases) {
        const pxLib::ProviderVerdict v =
            pxLib::ReadProviderVerdict(c.flags, c.level, c.driverPolicy);
        EXPECT_EQ(v.verdict, c.verdict)
            << std::hex << c.flags << " level " << pxLib::ToUInt(c.level);
        EXPECT_TRUE(v.usable);
        EXPECT_EQ(v.systemComponent, (c.flags & 0x20) != 0);
    }
    EXPECT_TRUE(pxLib::ReadProviderVerdict(0x20, TrustLevel::SignedAny, false).systemComponent);
    const pxLib::ProviderVerdict ignored =
        pxLib::ReadProviderVerdict(0x40008, TrustLevel::SignedByMaker, false);
    EXPECT_FALSE(ignored.usable);
    EXPECT_EQ(ignored.verdict, T);
}

TEST(TrustResultMap, EveryRowFirstMatchWins) {
    const struct {
        uint32_t result;
        ValidationError expected;
    } rows[] = {
        {0x00000000, T},      {0x80096005, ValidationError::VT_TIMESTAMP_INVALID},
        {0x80096010, N},      {0x80000000, N},
        {0x80092004, N},      {0x800B0000, N},
        {0x800B0001, NoInfo}, {0x800B0002, NoInfo},
        {0x800B0003, NoInfo}, {0x800B0004, N},
        {0x800B0100, N},      {0x800B010E, ValidationError::VT_REVOCATION_UNKNOWN},
        {0x800B0005, N},      {0x800B0109, N},
        {0x00000001, N},      {0x7FFFFFFF, N},
    };
    int policyReads = 0;
    const pxLib::PolicyFlagsReader reader = [&](uint32_t& flags) {
        ++policyReads;
        flags = pxLib::kPolicyAllowOnlyPerTrust;
        return true;
    };
    for (const auto& row : rows)
        EXPECT_EQ(pxLib::MapTrustResult(static_cast<int32_t>(row.result), reader), row.expected)
            << std::hex << row.result;
    EXPECT_EQ(policyReads, 0);
}

TEST(TrustResultMap, SecuritySettingsDependOnTheMachinePolicy) {
    const auto withFlags = [](uint32_t value) {
        return pxLib::PolicyFlagsReader([value](uint32_t& flags) {
            flags = value;
            return true;
        });
    };
    const pxLib::PolicyFlagsReader unavailable = [](uint32_t&) { return false; };
    const int32_t settings = pxLib::kTrustSecuritySettings;
    EXPECT_EQ(pxLib::MapTrustResult(settings, withFlags(0x40000)), NoInfo);
    EXPECT_EQ(pxLib::MapTrustResult(settings, withFlags(0x7FFFF)), NoInfo);
    EXPECT_EQ(pxLib::MapTrustResult(settings, withFlags(0x3FFFF)), N);
    EXPECT_EQ(pxLib::MapTrustResult(settings, unavailable), N);
    EXPECT_EQ(pxLib::MapTrustResult(settings, nullptr), N);
}

TEST(ObjectResultTranslation, EveryRowAndTheFallback) {
    const struct {
        uint32_t code, hresult;
    } rows[] = {
        {0x00010000, 0x00000000},
        {0x8001FFFF, 0x80004005},
        {0x80010203, 0x80070057},
        {0x80010200, 0x80004002},
        {0x80010201, 0x8007000E},
        {0x80010202, 0x80004001},
        {0x80010204, 0x80070005},
        {0x80010300, 0x80070003},
        {0x80010302, 0x8007007F},
        {0x80010303, 0x8007000B},
        {0x00010001, 0x00000001},
        {0x80000100, 0x80070490},
        {0x80000200, 0x8007007A},
        {0x80000202, 0x8007054F},
        {0x80000203, 0x800401F0},
        {0x80000204, 0x80010110},
        {0x80000206, 0x800706F8},
        {0x80000207, 0x80004011},
        {0x80000208, 0x80028CA0},
        {0x8000020D, 0x80070020},
        {0x8000020C, 0x80070070},
        {0x8000020F, 0x80070570},
        {0x80000213, 0x80071A90},
        {0x80000205, 0x8000FFFF},
        {0x80000201, 0x80028CA0},
        // Not in the table.
        {0x80010205, 0x80004005},
        {0x00000000, 0x80004005},
        {0x80070005, 0x80004005},
    };
    for (const auto& row : rows)
        EXPECT_EQ(
            static_cast<uint32_t>(pxLib::TranslateObjectResult(static_cast<int32_t>(row.code))),
            row.hresult)
            << std::hex << row.code;
}

}  // namespace
