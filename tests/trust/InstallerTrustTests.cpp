// The prelaunch verification: only the maker's installer starts. Each signer
// of the test PKI through the real DLL's run sequence, then the verification
// call itself with the file it holds.
#include "PluginTestSupport.h"
#include "TrustTestSupport.h"
#include "trust/InstallerTrust.h"
#include "trust/VerifyTrustFactory.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

TEST(InstallerTrust, OnlyTheMakersInstallerStarts) {
    LoadedPlugin dll;
    ASSERT_NE(dll.module(), nullptr);
    TempDir dir;
    const struct {
        const wchar_t* fixture;
        bool starts;
    } cases[] = {
        {L"maker", true},                 // maker name pair (1,1)
        {L"maker-pair12", true},          // (1,2)
        {L"maker-pair33", true},          // (3,3)
        {L"maker-pair45", true},          // a (4,5) mix
        {L"maker-unit", true},            // the maker's unit, any organisation
        {L"maker-nolocality", false},     // a maker pair without locality
        {L"other", false},                // another publisher
        {L"alternate", false},            // the alternate publisher
        {L"nocodesign", true},            // no code-signing usage, the subject marker
        {L"nocodesign-nomarker", false},  // no code-signing usage, no marker
        {L"platform", false},             // the platform vendor
        {L"tampered", false},
        {L"unsigned", false},
    };
    for (const auto& c : cases) {
        const std::wstring marker = dir.file(std::wstring(L"started-") + c.fixture);
        const std::wstring installer =
            PlaceInstaller(dir, c.fixture, std::wstring(c.fixture) + L"-setup.exe",
                           {"started_marker=" + Narrow(marker)});
        pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
        ASSERT_TRUE(plugin);
        RecordingSink sink;
        ASSERT_EQ(plugin->Start(JobFor(installer).c_str(), &sink), S_OK);
        const int32_t state = WaitForFinalState(plugin);
        plugin.reset();
        if (c.starts) {
            EXPECT_EQ(state, qvd::QVD_STATE_NOT_INSTALLED) << Narrow(c.fixture);
            EXPECT_EQ(sink.Calls(),
                      std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED)})
                << Narrow(c.fixture) << ": " << Describe(sink.Calls());
            EXPECT_TRUE(WaitForFile(marker, 30000)) << Narrow(c.fixture);
        } else {
            EXPECT_EQ(state, qvd::QVD_STATE_LAUNCH_FAILED) << Narrow(c.fixture);
            EXPECT_EQ(sink.Calls(), std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_FAILED)})
                << Narrow(c.fixture) << ": " << Describe(sink.Calls());
            EXPECT_FALSE(FileExists(marker)) << Narrow(c.fixture);
        }
    }
}

class VerifyInstaller : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        pxLib::RegisterVerifyTrustFactoryOnce(&pxLib::StaticVerifyTrustFactory);
    }
    TempDir dir;
};

TEST_F(VerifyInstaller, TheTrustedInstallerStaysHeldWithReadSharingOnly) {
    const std::wstring installer = PlaceInstaller(dir, L"maker", L"setup.exe", {});
    pxLib::UniqueHandle held;
    ASSERT_EQ(pxLib::VerifyInstallerTrust(installer, held), S_OK);
    ASSERT_TRUE(held);
    pxLib::UniqueHandle reader(CreateFileW(installer.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(reader);
    reader.reset();
    const pxLib::UniqueHandle writer(CreateFileW(installer.c_str(), GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_FALSE(DeleteFileW(installer.c_str()));
    EXPECT_FALSE(MoveFileW(installer.c_str(), dir.file(L"renamed.exe").c_str()));
    held.reset();
    EXPECT_TRUE(DeleteFileW(installer.c_str()));
}

TEST_F(VerifyInstaller, RefusalsAndWhatTheyReturn) {
    pxLib::UniqueHandle held;
    EXPECT_EQ(pxLib::VerifyInstallerTrust(dir.file(L"missing.exe"), held),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(held);
    for (const wchar_t* fixture : {L"unsigned", L"other", L"tampered", L"alternate"}) {
        const std::wstring installer =
            PlaceInstaller(dir, fixture, std::wstring(fixture) + L".exe", {});
        EXPECT_EQ(pxLib::VerifyInstallerTrust(installer, held), pxLib::kInstallerNotTrusted)
            << Narrow(fixture);
        // Held all the same: the run sequence closes it.
        EXPECT_TRUE(held) << Narrow(fixture);
    }
}

}  // namespace
}  // namespace qvdtest
