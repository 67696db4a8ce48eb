// A service host's job without the "system" context, through the plug-in
// object: the installer is started in the user's session by the user-session
// launcher, with the session calls that Wine cannot show in the fake's hands
// and everything else real (the signed fake installer, its exit code).
#include "FakeUserSessionSystem.h"
#include "InProcessPlugin.h"
#include "common/ScopedJobIds.h"
#include "plugin/QVDPluginFactory.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

constexpr DWORD kBoundedWaitMs = 60000;
constexpr size_t kMaxAttempts = 200;
const char kJobArguments[] =
    "\"product_data\": {\"command_line\": \"/S /D=C:\\\\Program Files\\\\App\"},"
    "\"distribution\": {\"token\": \"tok-1\", \"machinename\": \"PC1\"}";
const wchar_t kExpectedArguments[] =
    L"/S /D=C:\\Program Files\\App /token \"tok-1\" /machinename PC1";

class UserSessionLaunch : public ::testing::Test {
protected:
    void SetUp() override { platform->localSystem = true; }

    // A signed fake installer in a folder with a blank, recording its command
    // line; its first word alone names a decoy that must never start.
    std::wstring Installer(const std::string& exitCode) {
        PlaceInstaller(dir, L"maker", L"app.exe", {"started_marker=" + Narrow(decoyMarker)});
        EXPECT_TRUE(CreateDirectoryW(dir.file(L"app dir").c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
        const std::wstring path = dir.file(L"app dir\\setup.exe");
        return PlaceInstaller(dir, L"maker", L"app dir\\setup.exe",
                              {"record_command_line=" + Narrow(path + L".cmdline"),
                               "started_marker=" + Narrow(startedMarker), "exit_code=" + exitCode});
    }

    ScopedFakePlatform platform;
    FakeUserSessionSystem sessions;
    TempDir dir;
    ScopedJobIds jobIds;
    const std::wstring decoyMarker = dir.file(L"decoy-started");
    const std::wstring startedMarker = dir.file(L"installer-started");
};

TEST_F(UserSessionLaunch, StartsTheQuotedFullCommandLineAndMapsTheExitCode) {
    sessions.sessions = {{2, WTSDisconnected}, {3, WTSActive}, {5, WTSActive}};
    const struct {
        const char* exitCode;
        int32_t state;
        std::vector<SinkCall> calls;
    } rows[] = {
        {"0x80070BC2",
         qvd::QVD_STATE_REBOOT_REQUIRED,
         {StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED)}},
        {"0x80047D71",
         qvd::QVD_STATE_INSTALLER_FAILED,
         {StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED), ErrorCall(0x80047D71, 1163)}},
        {"5",
         qvd::QVD_STATE_FAILED,
         {StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED),
          ErrorCall(qvd::QVD_E_INSTALLER_FAILED, 1170)}},
    };
    for (const auto& row : rows) {
        sessions.queriedSessions.clear();
        sessions.linkedTokens.clear();
        sessions.creations.clear();
        const std::wstring installer = Installer(row.exitCode);
        std::vector<SinkCall> calls;
        EXPECT_EQ(RunLinkedJob(JobFor(installer, jobIds.NewMember() + ", " + kJobArguments), calls),
                  row.state)
            << row.exitCode << " " << Describe(calls);
        EXPECT_EQ(calls, row.calls) << Describe(calls);

        const std::wstring expected = L"\"" + installer + L"\" " + kExpectedArguments;
        EXPECT_EQ(ReadFileWide(installer + L".cmdline"), expected);
        ASSERT_EQ(sessions.creations.size(), 1u);
        EXPECT_EQ(sessions.creations[0].commandLine, expected);
        EXPECT_EQ(sessions.creations[0].desktop, L"winsta0\\default");
        EXPECT_EQ(sessions.queriedSessions, std::vector<ULONG>{3}) << "the first active session";
        EXPECT_EQ(sessions.linkedTokens.size(), sessions.queriedSessions.size())
            << "the elevated token was asked for";
        EXPECT_TRUE(platform->verbs.empty()) << "not through the shell";
    }
    EXPECT_FALSE(FileExists(decoyMarker));
}

TEST_F(UserSessionLaunch, AFailedLaunchIsReportedAt979) {
    const struct {
        const char* what;
        std::deque<DWORD> errors;
        DWORD always;
        size_t attempts;
    } rows[] = {
        {"the window station never became ready", {}, ERROR_PIPE_NOT_CONNECTED, kMaxAttempts},
        {"another error", {ERROR_ACCESS_DENIED}, 0, 1},
    };
    for (const auto& row : rows) {
        sessions.createErrors = row.errors;
        sessions.createErrorAlways = row.always;
        sessions.creations.clear();
        const std::wstring installer = Installer("0");
        std::vector<SinkCall> calls;
        EXPECT_EQ(RunLinkedJob(JobFor(installer, kJobArguments), calls),
                  qvd::QVD_STATE_LAUNCH_FAILED)
            << row.what;
        EXPECT_EQ(calls, (std::vector<SinkCall>{ErrorCall(qvd::QVD_E_LAUNCH_FAILED, 979),
                                                StatusCall(qvd::QVD_STATUS_FAILED)}))
            << row.what << " " << Describe(calls);
        EXPECT_EQ(sessions.creations.size(), row.attempts) << row.what;
    }
    EXPECT_FALSE(FileExists(startedMarker));
}

TEST_F(UserSessionLaunch, AHostCancelDuringAWaitEndsTheJobWithoutAnInstaller) {
    sessions.createErrorAlways = ERROR_PIPE_NOT_CONNECTED;
    const pxLib::UniqueHandle enteredWait{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    sessions.enteredFirstWait = enteredWait.get();
    const std::wstring installer = Installer("0");

    StartLinkedModule();
    pxLib::ComPtr<qvd::IPluginFactory> factory;
    ASSERT_EQ(qvd::plugin::GetPluginFactory(&qvd::FACTORYID_QVDPlugin, factory.put_void()),
              qvd::OBJ_OK);
    pxLib::ComPtr<qvd::IQVDPlugin> plugin;
    EXPECT_EQ(factory->CreateInstance(qvd::IID_IQVDPlugin, plugin.put_void()), 0);
    ASSERT_TRUE(plugin);
    RecordingSink sink;
    ASSERT_EQ(plugin->Start(JobFor(installer, kJobArguments).c_str(), &sink), S_OK);
    EXPECT_EQ(WaitForSingleObject(enteredWait.get(), kBoundedWaitMs), WAIT_OBJECT_0);
    EXPECT_EQ(plugin->CancelAndWait(), S_OK);
    int32_t state = 0;
    EXPECT_EQ(plugin->GetState(&state), S_OK);
    plugin.reset();

    // The launch ends with 0x800700E9; the run's cancel test then ends the job
    // as cancelled, with no sink call.
    EXPECT_EQ(state, qvd::QVD_STATE_NOT_INSTALLED);
    EXPECT_EQ(sink.Calls(), std::vector<SinkCall>{}) << Describe(sink.Calls());
    EXPECT_EQ(sessions.creations.size(), 1u);
    EXPECT_EQ(sessions.waits, std::vector<DWORD>{100});
    EXPECT_FALSE(FileExists(startedMarker));
}

}  // namespace
}  // namespace qvdtest
