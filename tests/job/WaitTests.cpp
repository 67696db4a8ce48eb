// The job layer's waits below the DLL, each against a real process and a real
// cancel event: the wait for the installer the run started, and the wait for
// an installer someone else started, found by its path.
#include "RunningInstaller.h"
#include "TestSupport.h"
#include "job/InstallerWait.h"
#include "job/ProcessWait.h"
#include "job/RunOutcome.h"
#include "job/RunReporter.h"
#include "support/system/UniqueHandle.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace qvdtest {
namespace {

using qvd::job::InstallerWaitResult;

constexpr int32_t kStatusWaiting = static_cast<int32_t>(qvd::job::JobStatus::Waiting);
constexpr DWORD kLongRunMs = 60000;

class StatusRecorder final : public qvd::job::RunReporter {
public:
    void ReportError(int32_t, const std::u16string&) override { ++errors; }
    void ReportStatus(int32_t status) override { statuses.push_back(status); }

    std::vector<int32_t> statuses;
    int errors = 0;
};

pxLib::UniqueHandle ManualEvent(bool signalled) {
    return pxLib::UniqueHandle(CreateEventW(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr));
}

// Starts a placed fake installer; the process ends with the test at the latest.
class StartedInstaller {
public:
    StartedInstaller(const TempDir& dir, const std::wstring& name,
                     const std::vector<std::string>& behaviour) {
        std::wstring line = L"\"" + PlaceInstaller(dir, L"maker", name, behaviour) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        m_started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, m_process.put()) != FALSE;
    }
    ~StartedInstaller() {
        if (m_started && WaitForSingleObject(handle(), 0) == WAIT_TIMEOUT)
            TerminateProcess(handle(), 1);
    }
    StartedInstaller(const StartedInstaller&) = delete;
    StartedInstaller& operator=(const StartedInstaller&) = delete;

    bool started() const { return m_started; }
    HANDLE handle() const { return m_process.process(); }

private:
    pxLib::ProcessInformation m_process;
    bool m_started = false;
};

TEST(InstallerWait, AnInstallerThatEndsGivesItsExitCode) {
    TempDir dir;
    StartedInstaller installer(dir, L"ends.exe", {"exit_code=7"});
    ASSERT_TRUE(installer.started());
    const pxLib::UniqueHandle cancel = ManualEvent(false);
    std::optional<uint32_t> exitCode;
    EXPECT_EQ(qvd::job::WaitForInstaller(installer.handle(), cancel.get(), exitCode),
              InstallerWaitResult::Ended);
    EXPECT_EQ(exitCode, std::optional<uint32_t>(7u));
}

TEST(InstallerWait, ACancelEndsTheWaitAndLeavesTheInstallerRunning) {
    TempDir dir;
    StartedInstaller installer(dir, L"runs.exe", {"sleep_ms=" + std::to_string(kLongRunMs)});
    ASSERT_TRUE(installer.started());
    const pxLib::UniqueHandle cancel = ManualEvent(true);
    std::optional<uint32_t> exitCode;
    EXPECT_EQ(qvd::job::WaitForInstaller(installer.handle(), cancel.get(), exitCode),
              InstallerWaitResult::Cancelled);
    EXPECT_FALSE(exitCode.has_value());
    EXPECT_EQ(WaitForSingleObject(installer.handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(InstallerWait, AWaitThatCannotWaitKnowsNothingOfTheInstaller) {
    const pxLib::UniqueHandle cancel = ManualEvent(false);
    const qvd::job::ProcessEnd end = qvd::job::WaitForProcessEnd(nullptr, cancel.get());
    EXPECT_EQ(end.result, InstallerWaitResult::Failed);
    EXPECT_FALSE(end.exitCode.has_value());
    EXPECT_NE(end.error, static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(ProcessWait, AnInstallerRunningFromThePathIsWaitedForOnce) {
    TempDir dir;
    const std::wstring path = dir.file(L"other-setup.exe");
    RunningInstaller other(path, {"exit_code=5"});
    ASSERT_TRUE(other.Started());
    const pxLib::UniqueHandle cancel = ManualEvent(false);
    StatusRecorder reporter;
    qvd::job::ProcessWait wait(reporter, cancel.get());
    std::thread release([&] {
        Sleep(300);
        other.Release();
    });
    uint32_t exitCode = 0;
    const bool waited = wait.waitForProcess(path, exitCode);
    release.join();
    EXPECT_TRUE(waited);
    EXPECT_EQ(exitCode, 5u);
    EXPECT_EQ(reporter.statuses, std::vector<int32_t>{kStatusWaiting});
    EXPECT_EQ(reporter.errors, 0);
}

TEST(ProcessWait, NoInstallerAtThePathIsNoWait) {
    TempDir dir;
    const pxLib::UniqueHandle cancel = ManualEvent(false);
    StatusRecorder reporter;
    qvd::job::ProcessWait wait(reporter, cancel.get());
    uint32_t exitCode = 12345;
    EXPECT_FALSE(wait.waitForProcess(dir.file(L"nobody.exe"), exitCode));
    EXPECT_EQ(exitCode, 12345u);
    EXPECT_TRUE(reporter.statuses.empty());
}

}  // namespace
}  // namespace qvdtest
