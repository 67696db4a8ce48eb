// The user-session launcher with the session calls that Wine cannot show in
// the fake's hands: the session chosen, the launch token, the environment
// block, the start-up information, and the retries while the window station
// is not ready. Tokens, environment blocks and processes are real.
#include "FakeUserSessionSystem.h"
#include "TestSupport.h"
#include "launch/StartupInfoEx.h"
#include "launch/UserLauncher.h"
#include "support/system/UniqueHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

namespace qvdtest {
namespace {

using qvd::launch::kNoSessionId;
using qvd::launch::kWindowStationNotReady;
using qvd::launch::SessionEntry;
using qvd::launch::SessionListing;
using qvd::launch::UserLauncher;

constexpr DWORD kUserFlags = CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS |
                             CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT;
constexpr DWORD kShortWaitMs = 100;
constexpr DWORD kMiddleWaitMs = 1000;
constexpr DWORD kLongWaitMs = 30000;
constexpr size_t kShortWaits = 11;
constexpr size_t kMiddleWaits = 50;
constexpr size_t kLongWaits = 139;
constexpr size_t kMaxAttempts = 200;
constexpr DWORD kChildWaitMs = 60000;
const wchar_t kMarkVariable[] = L"QVD_TEST_LAUNCH_MARK";
const wchar_t kHighIntegrityLabel[] = L"S-1-16-12288";

std::wstring StandIn() {
    return WinePath(QVD_SHELL_STAND_IN);
}

// The stand-in's command line: its result file, no settings, then the steps.
std::wstring StandInCommand(const std::wstring& results, const std::wstring& steps = L"") {
    std::wstring line = L"\"" + StandIn() + L"\" \"" + results + L"\" \"\"";
    if (!steps.empty()) line += L" \"" + steps + L"\"";
    return line;
}

DWORD ExitCodeOf(const pxLib::UniqueHandle& process) {
    if (!process || WaitForSingleObject(process.get(), kChildWaitMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

bool BlockHas(const void* environment, const std::wstring& entry) {
    for (auto* p = static_cast<const wchar_t*>(environment); p && *p; p += wcslen(p) + 1)
        if (entry == p) return true;
    return false;
}

TOKEN_TYPE TypeOf(HANDLE token) {
    TOKEN_TYPE type{};
    DWORD size = 0;
    GetTokenInformation(token, TokenType, &type, sizeof(type), &size);
    return type;
}

class UserLauncherTest : public ::testing::Test {
protected:
    void TearDown() override { SetEnvironmentVariableW(kMarkVariable, nullptr); }

    FakeUserSessionSystem fake;
    pxLib::UniqueHandle cancel{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    TempDir dir;
};

TEST_F(UserLauncherTest, TheFirstActiveSessionInListingOrderIsUsed) {
    const struct {
        const char* what;
        SessionListing listing;
        std::vector<SessionEntry> sessions;
        DWORD expected;
    } rows[] = {
        {"two active sessions",
         SessionListing::Listed,
         {{1, WTSConnected}, {4, WTSActive}, {2, WTSActive}},
         4},
        {"listing order, not the lowest id",
         SessionListing::Listed,
         {{3, WTSActive}, {1, WTSActive}},
         3},
        {"none active",
         SessionListing::Listed,
         {{0, WTSDisconnected}, {2, WTSListen}},
         kNoSessionId},
        {"no sessions", SessionListing::Listed, {}, kNoSessionId},
        {"the listing failed", SessionListing::Failed, {}, kNoSessionId},
        {"no terminal services", SessionListing::NoTerminalServices, {}, 0},
    };
    for (const auto& row : rows) {
        fake.listing = row.listing;
        fake.sessions = row.sessions;
        fake.queriedSessions.clear();
        UserLauncher launcher;
        EXPECT_EQ(launcher.PrepareUserToken(true), S_OK) << row.what;
        EXPECT_EQ(launcher.SessionId(), row.expected) << row.what;
        EXPECT_EQ(fake.queriedSessions, std::vector<ULONG>{row.expected}) << row.what;
    }
}

TEST_F(UserLauncherTest, WithoutAnActiveSessionTheUserTokenQuerysErrorComesBack) {
    fake.sessions = {{1, WTSDisconnected}, {2, WTSConnected}};
    fake.userTokenError = ERROR_NO_TOKEN;
    UserLauncher launcher;
    // The shell-process fallback finds no process in session 0xFFFFFFFF either.
    EXPECT_EQ(launcher.PrepareUserToken(true), HRESULT_FROM_WIN32(ERROR_NO_TOKEN));
    EXPECT_EQ(launcher.SessionId(), kNoSessionId);
    EXPECT_EQ(fake.journal, (std::vector<std::string>{"sessions", "user token 4294967295"}));
    EXPECT_EQ(launcher.LaunchToken(), nullptr);

    // Nothing to launch with: never a process under the service's own token.
    launcher.SetCancelEvent(cancel.get());
    EXPECT_EQ(launcher.LaunchInUserSession(StandInCommand(dir.file(L"r.txt"))),
              HRESULT_FROM_WIN32(ERROR_NO_TOKEN));
    EXPECT_TRUE(fake.creations.empty());
}

TEST_F(UserLauncherTest, TheLaunchTokenIsAPrimaryTokenRaisedToHighOnEveryPath) {
    const struct {
        const char* what;
        bool elevated;
        bool hasLinkedToken;
        bool usesLinkedToken;
    } rows[] = {
        {"elevated, with a linked token", true, true, true},
        {"elevated, without a linked token", true, false, false},
        {"not elevated", false, true, false},
    };
    for (const auto& row : rows) {
        fake.hasLinkedToken = row.hasLinkedToken;
        fake.duplications.clear();
        fake.linkedTokens.clear();
        fake.integrityLabels.clear();
        fake.journal.clear();
        UserLauncher launcher;
        ASSERT_EQ(launcher.PrepareUserToken(row.elevated), S_OK) << row.what;
        ASSERT_EQ(fake.duplications.size(), 1u) << row.what;
        const auto& duplication = fake.duplications[0];
        EXPECT_EQ(duplication.access, static_cast<DWORD>(MAXIMUM_ALLOWED));
        EXPECT_EQ(duplication.level, SecurityIdentification);
        EXPECT_EQ(duplication.type, TokenPrimary);
        EXPECT_EQ(std::count(fake.journal.begin(), fake.journal.end(), "linked"),
                  row.elevated ? 1 : 0)
            << row.what;
        if (row.usesLinkedToken) {
            ASSERT_EQ(fake.linkedTokens.size(), 1u);
            EXPECT_EQ(launcher.LaunchToken(), fake.linkedTokens[0]) << row.what;
        } else {
            EXPECT_EQ(launcher.LaunchToken(), duplication.handedOut) << row.what;
        }
        // Wine reports every token at High whatever is set: what shows is the label asked for.
        ASSERT_EQ(fake.integrityLabels.size(), 1u) << row.what;
        EXPECT_EQ(fake.integrityLabels[0].token, launcher.LaunchToken()) << row.what;
        EXPECT_EQ(fake.integrityLabels[0].sid, kHighIntegrityLabel) << row.what;
        EXPECT_EQ(fake.integrityLabels[0].attributes, static_cast<DWORD>(SE_GROUP_INTEGRITY));
        EXPECT_EQ(TypeOf(launcher.LaunchToken()), TokenPrimary) << row.what;
        EXPECT_NE(launcher.Environment(), nullptr) << row.what;
    }
}

TEST_F(UserLauncherTest, AFailingTokenStepReturnsItsErrorAndLeavesNoToken) {
    const struct {
        const char* what;
        DWORD duplicateError;
        DWORD integrityError;
        HRESULT expected;
    } rows[] = {
        {"the duplication", ERROR_ACCESS_DENIED, 0, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)},
        {"the integrity level", 0, ERROR_PRIVILEGE_NOT_HELD,
         HRESULT_FROM_WIN32(ERROR_PRIVILEGE_NOT_HELD)},
    };
    for (const auto& row : rows) {
        fake.duplicateError = row.duplicateError;
        fake.integrityError = row.integrityError;
        UserLauncher launcher;
        EXPECT_EQ(launcher.PrepareUserToken(true), row.expected) << row.what;
        EXPECT_EQ(launcher.LaunchToken(), nullptr) << row.what;
        EXPECT_EQ(launcher.Environment(), nullptr) << row.what;
    }
}

TEST_F(UserLauncherTest, TheProcessStartsOnTheUsersDesktopWithThePreparedEnvironment) {
    ASSERT_TRUE(SetEnvironmentVariableW(kMarkVariable, L"prepared"));
    UserLauncher launcher;
    ASSERT_EQ(launcher.PrepareUserToken(true), S_OK);
    // The block was made at preparation: a later change here does not reach the process.
    ASSERT_TRUE(SetEnvironmentVariableW(kMarkVariable, L"changed afterwards"));
    EXPECT_TRUE(BlockHas(launcher.Environment(), std::wstring(kMarkVariable) + L"=prepared"));

    const std::wstring results = dir.file(L"results.txt");
    const std::wstring command = StandInCommand(results, std::wstring(L"env:") + kMarkVariable);
    launcher.SetCancelEvent(cancel.get());
    ASSERT_EQ(launcher.LaunchInUserSession(command), S_OK);

    ASSERT_EQ(fake.creations.size(), 1u);
    const auto& creation = fake.creations[0];
    EXPECT_EQ(creation.token, launcher.LaunchToken());
    EXPECT_EQ(creation.commandLine, command);
    EXPECT_EQ(creation.flags, kUserFlags) << std::hex << creation.flags;
    EXPECT_EQ(creation.environment, launcher.Environment());
    EXPECT_EQ(creation.desktop, L"winsta0\\default");
    EXPECT_EQ(creation.startupSize, sizeof(STARTUPINFOEXW));
    EXPECT_TRUE(creation.attributeList) << "the mitigation attribute list";
    EXPECT_NE(launcher.ProcessId(), 0u);

    pxLib::UniqueHandle process = launcher.TakeProcess();
    EXPECT_FALSE(launcher.TakeProcess()) << "handed out once";
    EXPECT_EQ(ExitCodeOf(process), 0u);
    EXPECT_EQ(ReadFileUtf8(results), "QVD_TEST_LAUNCH_MARK=prepared\n");
}

TEST_F(UserLauncherTest, AWindowStationNotReadyThreeTimesIsRetriedAndPreparedAgainOnce) {
    fake.sessions = {{2, WTSActive}};
    fake.createErrors = {ERROR_PIPE_NOT_CONNECTED, ERROR_PIPE_NOT_CONNECTED,
                         ERROR_PIPE_NOT_CONNECTED};
    UserLauncher launcher;
    ASSERT_EQ(launcher.PrepareUserToken(true), S_OK);
    launcher.SetCancelEvent(cancel.get());
    EXPECT_EQ(launcher.LaunchInUserSession(StandInCommand(dir.file(L"r.txt"))), S_OK);

    const std::vector<std::string> prepare = {"sessions", "user token 2", "duplicate", "linked",
                                              "integrity"};
    std::vector<std::string> expected = prepare;
    expected.insert(expected.end(), {"create failed 233", "wait 100"});
    expected.insert(expected.end(), prepare.begin(), prepare.end());
    expected.insert(expected.end(),
                    {"create failed 233", "wait 100", "create failed 233", "wait 100", "create"});
    EXPECT_EQ(fake.journal, expected);
    EXPECT_EQ(fake.waits, (std::vector<DWORD>(3, kShortWaitMs)));
    // Each attempt used the launch token of the latest preparation.
    ASSERT_EQ(fake.creations.size(), 4u);
    EXPECT_EQ(fake.creations[3].token, launcher.LaunchToken());
    EXPECT_EQ(ExitCodeOf(launcher.TakeProcess()), 0u);
}

TEST_F(UserLauncherTest, TheRetriesFollowTheScheduleAndEndAfter200Attempts) {
    fake.createErrorAlways = ERROR_PIPE_NOT_CONNECTED;
    UserLauncher launcher;
    ASSERT_EQ(launcher.PrepareUserToken(true), S_OK);
    fake.journal.clear();
    launcher.SetCancelEvent(cancel.get());
    EXPECT_EQ(launcher.LaunchInUserSession(StandInCommand(dir.file(L"r.txt"))),
              kWindowStationNotReady);

    EXPECT_EQ(fake.creations.size(), kMaxAttempts);
    std::vector<DWORD> schedule(kShortWaits, kShortWaitMs);
    schedule.insert(schedule.end(), kMiddleWaits, kMiddleWaitMs);
    schedule.insert(schedule.end(), kLongWaits, kLongWaitMs);
    EXPECT_EQ(fake.waits, schedule);
    // About seventy minutes in all, unless a cancel ends it.
    EXPECT_EQ(std::accumulate(fake.waits.begin(), fake.waits.end(), uint64_t{0}), 4221100u);

    // Prepared again after attempts 0, 10, 20, ... 190.
    std::vector<size_t> preparedAfter;
    size_t attempts = 0;
    for (const std::string& call : fake.journal) {
        if (call.rfind("create", 0) == 0) ++attempts;
        if (call == "sessions") preparedAfter.push_back(attempts - 1);
    }
    std::vector<size_t> everyTenth;
    for (size_t attempt = 0; attempt < kMaxAttempts; attempt += 10) everyTenth.push_back(attempt);
    EXPECT_EQ(preparedAfter, everyTenth);
    EXPECT_FALSE(launcher.TakeProcess());
}

TEST_F(UserLauncherTest, ACancelDuringAWaitEndsTheLaunchWithoutAProcess) {
    fake.createErrorAlways = ERROR_PIPE_NOT_CONNECTED;
    fake.cancelAtWait = 1;
    UserLauncher launcher;
    ASSERT_EQ(launcher.PrepareUserToken(true), S_OK);
    launcher.SetCancelEvent(cancel.get());
    const std::wstring marker = dir.file(L"r.txt");
    EXPECT_EQ(launcher.LaunchInUserSession(StandInCommand(marker)), kWindowStationNotReady);
    EXPECT_EQ(fake.creations.size(), 2u);
    EXPECT_EQ(fake.waits, (std::vector<DWORD>{kShortWaitMs, kShortWaitMs}));
    EXPECT_EQ(fake.journal.back(), "wait 100") << "nothing after the cancelled wait";
    EXPECT_EQ(launcher.ProcessId(), 0u);
    EXPECT_FALSE(launcher.TakeProcess());
}

TEST_F(UserLauncherTest, AnyOtherCreationErrorEndsTheLaunchAtOnce) {
    const struct {
        const char* what;
        std::deque<DWORD> errors;
        HRESULT expected;
        size_t waits;
    } rows[] = {
        {"access denied", {ERROR_ACCESS_DENIED}, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), 0},
        {"file not found", {ERROR_FILE_NOT_FOUND}, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), 0},
        {"after one retry",
         {ERROR_PIPE_NOT_CONNECTED, ERROR_ACCESS_DENIED},
         HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED),
         1},
        // A failure that names no error is still a failure, and is not retried.
        {"no error code", {0}, E_UNEXPECTED, 0},
    };
    for (const auto& row : rows) {
        fake.createErrors = row.errors;
        fake.creations.clear();
        fake.waits.clear();
        UserLauncher launcher;
        ASSERT_EQ(launcher.PrepareUserToken(true), S_OK);
        launcher.SetCancelEvent(cancel.get());
        EXPECT_EQ(launcher.LaunchInUserSession(StandInCommand(dir.file(L"r.txt"))), row.expected)
            << row.what;
        EXPECT_EQ(fake.creations.size(), row.errors.size()) << row.what;
        EXPECT_EQ(fake.waits.size(), row.waits) << row.what;
        EXPECT_FALSE(launcher.TakeProcess()) << row.what;
    }
}

TEST_F(UserLauncherTest, AFailedPreparationDuringTheRetriesKeepsTheUsersToken) {
    UserLauncher launcher;
    ASSERT_EQ(launcher.PrepareUserToken(true), S_OK);
    const HANDLE prepared = launcher.LaunchToken();
    const void* environment = launcher.Environment();
    fake.userTokenError = ERROR_NO_TOKEN;  // the user logs off meanwhile
    fake.createErrors = {ERROR_PIPE_NOT_CONNECTED};
    launcher.SetCancelEvent(cancel.get());
    EXPECT_EQ(launcher.LaunchInUserSession(StandInCommand(dir.file(L"r.txt"))), S_OK);
    ASSERT_EQ(fake.creations.size(), 2u);
    EXPECT_EQ(fake.creations[1].token, prepared) << "never a null token";
    EXPECT_EQ(fake.creations[1].environment, environment);
    EXPECT_EQ(ExitCodeOf(launcher.TakeProcess()), 0u);
}

}  // namespace
}  // namespace qvdtest
