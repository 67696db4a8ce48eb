// The verifier on real files under Wine: each signer of the test PKI through
// WinVerifyTrust, the signature stage and the signer checks; the argument
// rules; the system-component and driver answers; the verifier's own
// switches and interfaces. Windows 7 (through the version seam) where a failed
// check searches the catalogs: Wine's catalog database has no SHA-256 (see
// CatalogTests.cpp).
#include "InProcessPlugin.h"
#include "TrustTestSupport.h"
#include "trust/FileCache.h"
#include "trust/VerifyTrustFactory.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

using pxLib::TrustLevel;
using pxLib::UniqueHandle;
using pxLib::ValidationError;

TrustLevel Level(uint32_t n) {
    return static_cast<TrustLevel>(n);
}

class VerifyFile : public ::testing::Test {
protected:
    void SetUp() override { platform->version = kWindows7; }
    ScopedFakePlatform platform;
    pxLib::RefPtr<pxLib::CVerifyTrust> verifier = NewVerifier();
};

TEST_F(VerifyFile, EachSignerAtEachLevel) {
    const struct {
        const wchar_t* fixture;
        ValidationError atLevel[5];
    } cases[] = {
        {L"maker", {T, T, T, N, N}},         {L"maker-pair12", {T, T, T, N, N}},
        {L"maker-pair33", {T, T, T, N, N}},  {L"maker-pair45", {T, T, T, N, N}},
        {L"maker-unit", {T, T, T, N, N}},    {L"maker-nolocality", {T, T, N, N, N}},
        {L"maker-nounit", {T, T, N, N, N}},  {L"maker-pair21", {T, T, N, N, N}},
        {L"other", {T, T, N, N, N}},         {L"alternate", {T, T, N, N, T}},
        {L"nocodesign", {T, T, T, N, N}},    {L"nocodesign-nomarker", {N, N, N, N, N}},
        {L"nousage", {T, T, T, N, N}},       {L"platform", {T, T, N, T, N}},
        {L"platform-unit", {T, T, N, T, N}}, {L"tampered", {N, N, N, N, N}},
        {L"unsigned", {N, N, N, N, N}},
    };
    for (const auto& c : cases) {
        const std::wstring path = InstallerFixture(c.fixture);
        for (uint32_t level = 1; level <= 5; ++level)
            EXPECT_EQ(verifier->VerifyFile(path.c_str(), Level(level)), c.atLevel[level - 1])
                << Narrow(c.fixture) << " at level " << level;
    }
}

TEST_F(VerifyFile, TheShimIsThePlatformVendors) {
    const std::wstring shim = ShimPath();
    ASSERT_TRUE(FileExists(shim)) << "scripts/lib/setup.sh fetches Debian's signed shim";
    const ValidationError expected[] = {T, T, N, T, N};
    for (uint32_t level = 1; level <= 5; ++level)
        EXPECT_EQ(verifier->VerifyFile(shim.c_str(), Level(level)), expected[level - 1]) << level;
}

TEST_F(VerifyFile, ArgumentsAndMissingFiles) {
    const std::wstring maker = InstallerFixture(L"maker");
    EXPECT_EQ(verifier->VerifyFile(static_cast<const wchar_t*>(nullptr), Level(1)),
              ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(verifier->VerifyFile(L"", Level(1)), ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), Level(0)), ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(verifier->VerifyFile(static_cast<const char*>(nullptr), Level(1)),
              ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(verifier->VerifyFile("", Level(3)), ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(verifier->VerifyFile(L"C:\\no\\such\\setup.exe", Level(3)),
              ValidationError::VT_ERROR);
    // The narrow forms read the path in the ANSI code page.
    EXPECT_EQ(verifier->VerifyFile(Narrow(maker).c_str(), Level(3)), T);
    EXPECT_EQ(verifier->VerifyFile(Narrow(InstallerFixture(L"other")).c_str(), Level(3), true), N);

    // Switched off, every file is trusted without a look, even a missing one.
    verifier->SetEnabled(false);
    EXPECT_FALSE(verifier->GetEnabled());
    EXPECT_EQ(verifier->VerifyFile(L"C:\\no\\such\\setup.exe", Level(3)), T);
    EXPECT_EQ(verifier->VerifyFile(InstallerFixture(L"unsigned").c_str(), Level(3)), T);
    EXPECT_EQ(verifier->VerifyFile(static_cast<const wchar_t*>(nullptr), Level(3)), T);
    verifier->SetEnabled(true);
    EXPECT_EQ(verifier->VerifyFile(InstallerFixture(L"unsigned").c_str(), Level(3)), N);
}

TEST_F(VerifyFile, TheSystemComponentAnswer) {
    const struct {
        const wchar_t* fixture;
        uint32_t level;
        ValidationError result;
        bool systemComponent;
    } cases[] = {
        {L"platform", 4, T, true}, {L"platform", 1, T, true},       {L"platform", 3, N, false},
        {L"maker", 3, T, false},   {L"platform-unit", 4, T, false},
    };
    for (const auto& c : cases) {
        bool system = !c.systemComponent;
        EXPECT_EQ(verifier->VerifyFile(InstallerFixture(c.fixture).c_str(), Level(c.level), false,
                                       &system),
                  c.result)
            << Narrow(c.fixture) << " " << c.level;
        EXPECT_EQ(system, c.systemComponent) << Narrow(c.fixture) << " " << c.level;
    }
}

TEST_F(VerifyFile, DriverFilesNeedThePlatformAndTheDriverUsage) {
    EXPECT_EQ(verifier->VerifyDriverFile(InstallerFixture(L"platform").c_str(), false), T);
    EXPECT_EQ(verifier->VerifyDriverFile(Narrow(InstallerFixture(L"platform")).c_str(), true), T);
    EXPECT_EQ(verifier->VerifyDriverFile(InstallerFixture(L"platform-unit").c_str(), false), N);
    EXPECT_EQ(verifier->VerifyDriverFile(InstallerFixture(L"maker").c_str(), false), N);
    EXPECT_EQ(verifier->VerifyDriverFile(InstallerFixture(L"unsigned").c_str(), false), N);
}

TEST_F(VerifyFile, TheHeldFileIsWhatThePlatformJudges) {
    ScopedTrustProvider provider;
    const std::wstring path = InstallerFixture(L"maker");
    UniqueHandle held(CreateFileW(path.c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_EQ(verifier->VerifyHeldFile(path.c_str(), Level(3), held.get()), T);
    ASSERT_EQ(provider->calls.size(), 1u);
    EXPECT_EQ(provider->calls[0].file, held.get());
    EXPECT_EQ(provider->calls[0].subject, path);

    // By path alone the platform gets no handle, and says the same.
    EXPECT_EQ(verifier->VerifyFile(path.c_str(), Level(3)), T);
    ASSERT_EQ(provider->calls.size(), 2u);
    EXPECT_EQ(provider->calls[1].file, nullptr);
}

TEST_F(VerifyFile, TheCacheAnswersRepeatedRequests) {
    ScopedTrustProvider provider;
    pxLib::ProcessFileCache().Clear();
    verifier->SetCacheEnabled(true);
    const std::wstring maker = InstallerFixture(L"maker");
    const std::wstring platformFile = InstallerFixture(L"platform");

    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), Level(3)), T);
    EXPECT_EQ(provider->calls.size(), 1u);
    // Answered from the cache: the same level, a weaker one, and a conflict.
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), Level(3)), T);
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), Level(1)), T);
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), Level(4)), N);
    EXPECT_EQ(provider->calls.size(), 1u);
    // Another variant is another entry: the plain form files its answers as variant 1.
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), Level(3), true), T);
    EXPECT_EQ(provider->calls.size(), 1u);
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), Level(3), false), T);
    EXPECT_EQ(provider->calls.size(), 2u);

    // A system component is filed at level 4, so it is no maker's file.
    EXPECT_EQ(verifier->VerifyFile(platformFile.c_str(), Level(1)), T);
    const size_t calls = provider->calls.size();
    EXPECT_EQ(verifier->VerifyFile(platformFile.c_str(), Level(3)), N);
    bool system = false;
    EXPECT_EQ(verifier->VerifyFile(platformFile.c_str(), Level(4), true, &system), T);
    EXPECT_TRUE(system);
    EXPECT_EQ(provider->calls.size(), calls);

    // Forgetting works only with the verdict provider off and for a cached file.
    EXPECT_EQ(verifier->ForgetFile(nullptr), ValidationError::VT_INVALID_ARG);
    verifier->SetProviderEnabled(true);
    EXPECT_EQ(verifier->ForgetFile(maker.c_str()), ValidationError::VT_INVALID_ARG);
    verifier->SetProviderEnabled(false);
    EXPECT_EQ(verifier->ForgetFile(maker.c_str()), T);
    EXPECT_EQ(verifier->ForgetFile(maker.c_str()), T);  // the second variant's entry
    EXPECT_EQ(verifier->ForgetFile(maker.c_str()), ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(verifier->VerifyFile(maker.c_str(), Level(3)), T);
    EXPECT_EQ(provider->calls.size(), calls + 1);

    // Failures are not cached.
    const std::wstring other = InstallerFixture(L"other");
    EXPECT_EQ(verifier->VerifyFile(other.c_str(), Level(3)), N);
    EXPECT_EQ(verifier->VerifyFile(other.c_str(), Level(3)), N);
    EXPECT_EQ(provider->calls.size(), calls + 3);

    verifier->SetCacheLimit(7);
    EXPECT_EQ(verifier->GetCacheLimit(), 7u);
    verifier->ClearCache();
    EXPECT_EQ(pxLib::ProcessFileCache().Count(), 0u);
    verifier->SetCacheLimit(pxLib::FileCache::kDefaultLimit);
}

TEST_F(VerifyFile, InterfacesAndSwitches) {
    const struct {
        pxLib::Guid iid;
        void* expected;
    } answers[] = {
        {pxLib::IID_IRefObject, static_cast<pxLib::IVerifyTrust*>(verifier.get())},
        {pxLib::IID_IVerifyTrust, static_cast<pxLib::IVerifyTrust*>(verifier.get())},
        {pxLib::IID_IVerifyTrustObject, static_cast<pxLib::IVerifyTrust*>(verifier.get())},
        {pxLib::IID_IVerifyTrustAlias1, static_cast<pxLib::IVerifyTrust*>(verifier.get())},
        {pxLib::IID_IVerifyTrustAlias2, static_cast<pxLib::IVerifyTrust*>(verifier.get())},
        {pxLib::IID_IVerifyTrustCache, static_cast<pxLib::IVerifyTrustCache*>(verifier.get())},
        {pxLib::IID_IVerifyTrustProviderOption,
         static_cast<pxLib::IVerifyTrustProviderOption*>(verifier.get())},
    };
    for (const auto& a : answers) {
        void* out = nullptr;
        EXPECT_EQ(verifier->QueryInterface(a.iid, &out), pxLib::OBJ_OK);
        EXPECT_EQ(out, a.expected);
        static_cast<pxLib::IVerifyTrust*>(verifier.get())->Release();
    }
    pxLib::RefPtr<pxLib::IVerifyTrustPolicy> policy;
    EXPECT_EQ(pxLib::QueryInto(static_cast<pxLib::IVerifyTrust*>(verifier.get()),
                               pxLib::IID_IVerifyTrustPolicy, policy),
              pxLib::OBJ_OK);
    EXPECT_TRUE(policy);
    void* out = &out;
    const pxLib::Guid unknown = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    EXPECT_EQ(verifier->QueryInterface(unknown, &out), pxLib::OBJ_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(verifier->QueryInterface(pxLib::IID_IVerifyTrust, nullptr), pxLib::OBJ_E_INVALIDARG);

    // The in-process factory's settings, and the switches.
    EXPECT_TRUE(verifier->GetEnabled());
    EXPECT_FALSE(verifier->GetCacheEnabled());
    EXPECT_FALSE(verifier->GetProviderEnabled());
    EXPECT_FALSE(verifier->GetRevocationCheck());
    verifier->SetRevocationCheck(true);
    EXPECT_TRUE(verifier->GetRevocationCheck());
    EXPECT_EQ(verifier->ReleaseProvider(), T);
}

TEST_F(VerifyFile, TheStaticFactoryMakesTheInProcessVerifier) {
    pxLib::RefPtr<pxLib::IVerifyTrust> made;
    ASSERT_EQ(pxLib::StaticVerifyTrustFactory(made), S_OK);
    ASSERT_TRUE(made);
    EXPECT_TRUE(made->GetEnabled());
    EXPECT_FALSE(made->GetRevocationCheck());
    pxLib::RefPtr<pxLib::IVerifyTrustProviderOption> option;
    ASSERT_EQ(pxLib::QueryInto(made.get(), pxLib::IID_IVerifyTrustProviderOption, option),
              pxLib::OBJ_OK);
    EXPECT_FALSE(option->GetProviderEnabled());
    pxLib::RefPtr<pxLib::IVerifyTrustCache> cache;
    ASSERT_EQ(pxLib::QueryInto(made.get(), pxLib::IID_IVerifyTrustCache, cache), pxLib::OBJ_OK);
    EXPECT_FALSE(cache->GetCacheEnabled());
    EXPECT_EQ(made->VerifyFile(InstallerFixture(L"maker").c_str(), TrustLevel::SignedByMaker), T);
}

}  // namespace
}  // namespace qvdtest
