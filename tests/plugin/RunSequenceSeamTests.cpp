// The run sequence's launch decisions that Wine cannot show for real (a
// LocalSystem host, a declined elevation prompt), reached through the platform
// seam, with the plug-in object linked in and a real installer under Wine.
#include "FakeUserSessionSystem.h"
#include "InProcessPlugin.h"
#include "UacSettingGuard.h"
#include "common/ScopedJobIds.h"
#include "job/RuntimePreload.h"

#include <gtest/gtest.h>

#include <optional>

namespace qvdtest {
namespace {

class RunSequenceSeams : public ::testing::Test {
protected:
    int32_t Run(const std::wstring& job, std::vector<SinkCall>& calls) {
        return RunLinkedJob(job, calls);
    }

    ScopedFakePlatform fake;
    FakePlatform& platform = *fake;
    TempDir dir;
    ScopedJobIds jobIds;
};

TEST_F(RunSequenceSeams, ALocalSystemHostWithoutAUsersTokenFailsBeforeLaunching) {
    platform.localSystem = true;
    FakeUserSessionSystem sessions;
    sessions.sessions = {{1, WTSDisconnected}};
    sessions.userTokenError = ERROR_NO_TOKEN;
    const std::wstring marker = dir.file(L"started");
    const std::wstring installer =
        PlaceInstaller(dir, L"maker", L"setup.exe", {"started_marker=" + Narrow(marker)});
    std::vector<SinkCall> calls;
    EXPECT_EQ(Run(JobFor(installer), calls), qvd::QVD_STATE_LAUNCH_FAILED);
    EXPECT_EQ(calls, (std::vector<SinkCall>{ErrorCall(qvd::QVD_E_LAUNCH_FAILED, 959),
                                            StatusCall(qvd::QVD_STATUS_FAILED)}))
        << Describe(calls);
    EXPECT_TRUE(platform.verbs.empty());
    EXPECT_TRUE(sessions.creations.empty());
    Sleep(200);
    EXPECT_FALSE(FileExists(marker));
}

TEST_F(RunSequenceSeams, ADeclinedElevationEndsTheJobAsNotInstalled) {
    UacSettingGuard uac;
    uac.SetDword(1);
    platform.declineElevation = true;
    const std::wstring installer = PlaceInstaller(dir, L"maker", L"setup.exe", {});
    std::vector<SinkCall> calls;
    EXPECT_EQ(Run(JobFor(installer, "\"product_data\": {\"admin\": true}"), calls),
              qvd::QVD_STATE_NOT_INSTALLED);
    EXPECT_EQ(calls, (std::vector<SinkCall>{ErrorCall(qvd::QVD_E_DECLINED, 1028),
                                            StatusCall(qvd::QVD_STATUS_DECLINED)}))
        << Describe(calls);
    EXPECT_EQ(platform.verbs, (std::vector<std::wstring>{L"runas"}));
}

TEST_F(RunSequenceSeams, ElevationIsAskedOnlyForAdminJobsWithUacOn) {
    UacSettingGuard uac;
    const struct {
        const char* productData;
        int enableLua;  // -1: no value, -2: a string "1"
        const wchar_t* verb;
    } rows[] = {
        {"{\"admin\": true}", 1, L"runas"},
        {"{\"admin\": true}", 0, L"open"},
        {"{\"admin\": true}", 2, L"open"},
        {"{\"admin\": true}", -1, L"open"},
        {"{\"admin\": true}", -2, L"open"},
        {"{\"admin\": false}", 1, L"open"},
        {"{}", 1, L"open"},
        {"{\"admin\": 1}", 1, L"runas"},
    };
    for (const auto& row : rows) {
        if (row.enableLua >= 0) {
            uac.SetDword(static_cast<DWORD>(row.enableLua));
        } else if (row.enableLua == -1) {
            uac.Remove();
        } else {
            uac.SetString(L"1");
        }
        platform.verbs.clear();
        const std::wstring installer =
            PlaceInstaller(dir, L"maker", L"setup.exe", {"exit_code=0x80070BC2"});
        std::vector<SinkCall> calls;
        // Wine never declines: both verbs really start the installer.
        EXPECT_EQ(
            Run(JobFor(installer, jobIds.NewMember() + ", \"product_data\": " + row.productData),
                calls),
            5)
            << row.productData << " " << row.enableLua;
        EXPECT_EQ(platform.verbs, (std::vector<std::wstring>{row.verb}))
            << row.productData << " " << row.enableLua;
    }
}

// What happens after the installer was verified, when the launch or the wait
// goes wrong in ways Wine shows only through the seam (or a file that
// verifies but cannot be started: a signed library).
TEST_F(RunSequenceSeams, LaunchesAndWaitsThatFailEndTheJobAsTheyShould) {
    const std::string system = "\"product_data\": {\"context\": \"system\"}";
    const struct {
        const char* what;
        const wchar_t* fixture;
        bool service;
        DWORD shellError;
        bool dropProcess;
        bool unwaitableProcess;
        int32_t state;
        std::vector<SinkCall> calls;
    } rows[] = {
        {"a shell launch that fails",
         L"maker",
         false,
         ERROR_FILE_NOT_FOUND,
         false,
         false,
         qvd::QVD_STATE_LAUNCH_FAILED,
         {ErrorCall(qvd::QVD_E_LAUNCH_FAILED, 1037), StatusCall(qvd::QVD_STATUS_FAILED)}},
        {"a system-context launch that fails",
         L"maker-library",
         true,
         ERROR_SUCCESS,
         false,
         false,
         qvd::QVD_STATE_LAUNCH_FAILED,
         {StatusCall(qvd::QVD_STATUS_FAILED)}},
        // The shell handed the file to a process it did not give us: nothing to wait for.
        {"a shell launch without a process",
         L"maker",
         false,
         ERROR_SUCCESS,
         true,
         false,
         qvd::QVD_STATE_FAILED,
         {}},
        // A wait that fails says nothing of the installer's end: no exit code is read.
        {"a wait that fails",
         L"maker",
         false,
         ERROR_SUCCESS,
         false,
         true,
         qvd::QVD_STATE_FAILED,
         {StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED)}},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        platform.localSystem = row.service;
        platform.shellError = row.shellError;
        platform.dropProcess = row.dropProcess;
        platform.unwaitableProcess = row.unwaitableProcess;
        // A file of its own: an installer of an earlier row may still be running.
        const std::wstring installer = PlaceInstaller(
            dir, row.fixture, L"setup" + std::to_wstring(++n) + L".exe", {"exit_code=0"});
        ASSERT_FALSE(installer.empty());
        std::vector<SinkCall> calls;
        EXPECT_EQ(Run(JobFor(installer, row.service ? system : ""), calls), row.state);
        EXPECT_EQ(calls, row.calls) << Describe(calls);
    }
}

TEST_F(RunSequenceSeams, TheRuntimePreloadIsNeededOnlyBeforeWindows8) {
    const struct {
        DWORD major, minor;
        HRESULT expected;
    } rows[] = {
        {10, 0, S_OK},
        {6, 3, S_OK},
        {6, 2, S_OK},
        // Older systems expand "%INSTALLDIR%", which no path expansion map here defines.
        {6, 1, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
    };
    for (const auto& row : rows) {
        pxLib::OsVersion v;
        v.major = row.major;
        v.minor = row.minor;
        platform.version = v;
        EXPECT_EQ(qvd::job::PreloadCRuntime(), row.expected) << row.major << "." << row.minor;
    }
}

}  // namespace
}  // namespace qvdtest
