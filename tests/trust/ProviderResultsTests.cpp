// What the platform's trust provider answers, and what the verifier makes of
// it. Wine answers only success, a bad digest and no signature for real (see
// VerifyFileTests.cpp); every other row goes through the trust provider seam.
#include "TrustTestSupport.h"
#include "support/logging/TraceRecorder.h"
#include "trust/InstallerTrust.h"
#include "trust/TrustResultMap.h"
#include "trust/VerifyTrustFactory.h"

#include <softpub.h>

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

using pxLib::TrustLevel;
using pxLib::ValidationError;

const GUID kGenericVerify = WINTRUST_ACTION_GENERIC_VERIFY_V2;
const GUID kDriverVerify = DRIVER_ACTION_VERIFY;

class ProviderResults : public ::testing::Test {
protected:
    ScopedTrustProvider provider;
    pxLib::RefPtr<pxLib::CVerifyTrust> verifier = NewVerifier();
    const std::wstring maker = InstallerFixture(L"maker");
};

TEST_F(ProviderResults, EachResultOfTheTable) {
    const struct {
        uint32_t answer;
        bool hasPolicy;
        DWORD policyFlags;
        ValidationError expected;
    } rows[] = {
        {0x00000000, true, 0, T},
        {0x80092026, true, pxLib::kPolicyAllowOnlyPerTrust, ValidationError::VT_NO_SIGNATURE_INFO},
        {0x80092026, true, 0, N},
        {0x80092026, false, pxLib::kPolicyAllowOnlyPerTrust, N},
        {0x80096005, true, 0, ValidationError::VT_TIMESTAMP_INVALID},
        {0x80096010, true, 0, N},
        {0x80070005, true, 0, N},
        {0x800B0001, true, 0, ValidationError::VT_NO_SIGNATURE_INFO},
        {0x800B0003, true, 0, ValidationError::VT_NO_SIGNATURE_INFO},
        {0x800B0004, true, 0, N},
        {0x800B0100, true, 0, N},
        {0x800B010E, true, 0, ValidationError::VT_REVOCATION_UNKNOWN},
        {0x800B0109, true, 0, N},
    };
    for (const auto& row : rows) {
        provider->answer = [&](const FakeTrustProvider::Call&) {
            return static_cast<LONG>(row.answer);
        };
        provider->hasPolicy = row.hasPolicy;
        provider->policyFlags = row.policyFlags;
        provider->calls.clear();
        // At the maker's level a failure searches no catalog.
        EXPECT_EQ(verifier->VerifyFile(maker.c_str(), TrustLevel::SignedByMaker), row.expected)
            << std::hex << row.answer;
        EXPECT_EQ(provider->calls.size(), 1u) << std::hex << row.answer;
    }
}

TEST_F(ProviderResults, RevocationIsCheckedOnlyWhenSwitchedOn) {
    // The provider fails revocation whenever it is asked to check the chain.
    provider->answer = [](const FakeTrustProvider::Call& call) -> LONG {
        const bool wholeChain = call.revocationChecks == WTD_REVOKE_WHOLECHAIN &&
                                call.providerFlags == WTD_REVOCATION_CHECK_CHAIN;
        if (wholeChain) return pxLib::kTrustRevocationFailure;
        return call.revocationChecks == WTD_REVOKE_NONE &&
                       call.providerFlags == WTD_REVOCATION_CHECK_NONE
                   ? 0
                   : TRUST_E_FAIL;
    };
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), TrustLevel::SignedByMaker), T);
    verifier->SetRevocationCheck(true);
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), TrustLevel::SignedByMaker),
              ValidationError::VT_REVOCATION_UNKNOWN);
    verifier->SetRevocationCheck(false);
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), TrustLevel::SignedByMaker), T);
}

TEST_F(ProviderResults, DriverFilesAreAskedWithTheDriverAction) {
    EXPECT_EQ(verifier->VerifyDriverFile(InstallerFixture(L"platform").c_str(), false), T);
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), TrustLevel::SignedByMaker), T);
    ASSERT_EQ(provider->calls.size(), 2u);
    EXPECT_TRUE(IsEqualGUID(provider->calls[0].action, kDriverVerify));
    EXPECT_TRUE(IsEqualGUID(provider->calls[1].action, kGenericVerify));
    for (const auto& call : provider->calls) EXPECT_EQ(call.unionChoice, DWORD{WTD_CHOICE_FILE});
}

// Events that name a slow call's action.
size_t SlowCallsNaming(const TraceRecorder& recorder, std::u16string_view action) {
    size_t n = 0;
    for (const RecordedEvent& event : recorder.events)
        if (!event.args.empty() && event.args[0] == Utf16Bytes(action)) ++n;
    return n;
}

TEST_F(ProviderResults, CallsSlowerThanHalfASecondAreTraced) {
    TraceRecorder recorder;
    ScopedTraceSession session(static_cast<uint8_t>(pxLib::TraceLevel::Verbose), 1);
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), TrustLevel::SignedByMaker), T);
    EXPECT_EQ(SlowCallsNaming(recorder, u"WINTRUST_ACTION_GENERIC_VERIFY_V2"), 0u);

    provider->delayMs = 700;
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), TrustLevel::SignedByMaker), T);
    EXPECT_EQ(SlowCallsNaming(recorder, u"WINTRUST_ACTION_GENERIC_VERIFY_V2"), 1u);
    EXPECT_EQ(verifier->VerifyDriverFile(InstallerFixture(L"platform").c_str(), false), T);
    EXPECT_EQ(SlowCallsNaming(recorder, u"DRIVER_ACTION_VERIFY"), 1u);
}

// The prelaunch verification's own trace source.
const pxLib::TraceSource kInstallerTrustSource{
    {0x91d04f6e, 0x2a58, 0x4b17, {0xa0, 0x6c, 0x3f, 0x88, 0x1e, 0x57, 0xd4, 0x02}}};

TEST_F(ProviderResults, ThePrelaunchVerificationRefusesWhatIsNotTrusted) {
    pxLib::RegisterVerifyTrustFactoryOnce(&pxLib::StaticVerifyTrustFactory);
    const struct {
        LONG answer;
        HRESULT expected;
        bool tracedAsError;  // a failure to judge, not a signature that fails
    } cases[] = {
        {0, S_OK, false},
        {pxLib::kTrustTimeStamp, pxLib::kInstallerNotTrusted, true},
        {pxLib::kTrustRevocationFailure, pxLib::kInstallerNotTrusted, true},
        {pxLib::kTrustNoSignature, pxLib::kInstallerNotTrusted, false},
        {static_cast<LONG>(0x800B0003), pxLib::kInstallerNotTrusted, true},
    };
    for (const auto& c : cases) {
        provider->answer = [&](const FakeTrustProvider::Call&) { return c.answer; };
        pxLib::UniqueHandle held;
        TraceRecorder recorder;
        ScopedTraceSession errorsOnly(static_cast<uint8_t>(pxLib::TraceLevel::Error), 1);
        EXPECT_EQ(pxLib::VerifyInstallerTrust(maker, held), c.expected) << std::hex << c.answer;
        EXPECT_TRUE(held);
        size_t errors = 0;
        for (const RecordedEvent& event : recorder.events)
            if (SameGuid(event.messageGuid, kInstallerTrustSource.messageGuid)) ++errors;
        EXPECT_EQ(errors, c.tracedAsError ? 1u : 0u) << std::hex << c.answer;
    }
}

}  // namespace
}  // namespace qvdtest
