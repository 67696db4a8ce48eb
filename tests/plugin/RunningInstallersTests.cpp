// Installers of the job already running when it starts, through the real DLL
// under Wine: the job's own installer started earlier by someone else, and
// the stub that resumes an installation after a restart (found under the job
// id or in RunOnce). Each is a real process that the test starts and ends.
#include "InProcessPlugin.h"
#include "ProductProof.h"
#include "RunOnceEntry.h"
#include "common/RunningInstaller.h"
#include "common/ScopedJobIds.h"

#include <gtest/gtest.h>

#include <optional>

namespace qvdtest {
namespace {

constexpr uint32_t kRestartNeeded = 0x80070BC2;
constexpr uint32_t kInstallerDeclined = 0x80047C10;
// What the run keeps as the waited installer's code when it could not read one.
constexpr uint32_t kUnreadExitCode = 0;
// How long the test watches a job that must go on waiting.
constexpr DWORD kStillWaitingMs = 400;
// A cancel that takes longer than this has not ended the wait.
constexpr DWORD kCancelBoundMs = 30000;

const SinkCall kWaiting = StatusCall(qvd::QVD_STATUS_WAITING);
const SinkCall kStarted = StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED);
const SinkCall kInstalledAfterWait = StatusCall(qvd::QVD_STATUS_INSTALLED_AFTER_WAIT);

class RunningInstallers : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(dll.module(), nullptr); }

    // A folder of dir whose long name has an 8.3 form of its own.
    std::wstring Folder(const std::wstring& name) const {
        const std::wstring folder = dir.file(name);
        CreateDirectoryW(folder.c_str(), nullptr);
        return folder;
    }
    // The job's own installer, signed, recording that it was started.
    std::wstring PlacedInstaller(const std::wstring& folder) const {
        return PlaceInstaller(dir, L"maker", folder.substr(dir.path().size() + 1) + L"\\setup.exe",
                              {"started_marker=" + Narrow(launchedMarker)});
    }
    std::wstring Job(const std::wstring& installerPath, const std::string& productData) {
        return JobFor(installerPath, jobIds.NewMember() + ", " + productData);
    }

    LoadedPlugin dll;
    TempDir dir;
    ProductProof product{dir};
    ScopedJobIds jobIds;
    const std::wstring launchedMarker = dir.file(L"launched");
};

// The job's installer is already running, started by someone else from the
// very file the job names: the job waits for it instead of starting another,
// and its exit code decides the job as the job's own would.
TEST_F(RunningInstallers, TheJobsOwnInstallerAlreadyRunningIsWaitedForAndItsCodeMapped) {
    const struct {
        const char* what;
        const char* exitCode;
        bool installsProduct;
        bool jobNamesShortForm;
        int32_t state;
        std::vector<SinkCall> calls;
        uint32_t jobExitCode;
    } rows[] = {
        {"installs the product",
         "0",
         true,
         false,
         qvd::QVD_STATE_INSTALLED,
         {kWaiting, kInstalledAfterWait},
         kExitCodeNotKnown},
        {"installs the product, job names the 8.3 path",
         "0",
         true,
         true,
         qvd::QVD_STATE_INSTALLED,
         {kWaiting, kInstalledAfterWait},
         kExitCodeNotKnown},
        {"ends without the product", "0", false, true, qvd::QVD_STATE_NOT_INSTALLED, {kWaiting}, 0},
        {"asks for a restart",
         "0x80070BC2",
         false,
         true,
         qvd::QVD_STATE_REBOOT_REQUIRED,
         {kWaiting},
         kRestartNeeded},
        {"declined",
         "0x80047C10",
         false,
         false,
         qvd::QVD_STATE_INSTALLER_DECLINED,
         {kWaiting, ErrorCall(qvd::QVD_E_DECLINED, 1092), StatusCall(qvd::QVD_STATUS_DECLINED)},
         kInstallerDeclined},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        product.SetInstalled(false);
        DeleteFileW(launchedMarker.c_str());
        const std::wstring path =
            Folder(L"Setup Folder Number " + std::to_wstring(++n)) + L"\\setup.exe";
        std::vector<std::string> behaviour = {std::string("exit_code=") + row.exitCode};
        if (row.installsProduct) behaviour.push_back("write_file=" + Narrow(product.FinalMarker()));
        const RunningInstaller running(path, behaviour);
        ASSERT_TRUE(running.Started());
        const std::wstring named = row.jobNamesShortForm ? ShortForm(path) : path;
        ASSERT_FALSE(named.empty());
        if (row.jobNamesShortForm) {
            ASSERT_NE(named, path);
        }

        const std::wstring jobId = jobIds.New();
        StartedJob job(dll.CreatePlugin(), JobFor(named, "\"job_id\": " + JsonString(jobId) + ", " +
                                                             product.ProductData()));
        ASSERT_TRUE(job.Started());
        ASSERT_TRUE(job.WaitForStatus(qvd::QVD_STATUS_WAITING)) << Describe(job.Calls());
        Sleep(kStillWaitingMs);
        EXPECT_EQ(job.State(), qvd::QVD_STATE_RUNNING) << "the job waits while it runs";
        running.Release();
        EXPECT_EQ(job.WaitForEnd(), row.state);
        EXPECT_EQ(job.Calls(), row.calls) << Describe(job.Calls());
        EXPECT_EQ(job.ExitCode(), row.jobExitCode);
        // A started copy would have reported status 4: none was started.
        const bool restartMarked = RegGetValueW(HKEY_CURRENT_USER, RestartMarkKey(jobId).c_str(),
                                                L"QVDInstallPendingReboot", RRF_RT_REG_DWORD,
                                                nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        EXPECT_EQ(restartMarked, row.state == qvd::QVD_STATE_REBOOT_REQUIRED)
            << "the waited installer's restart is recorded like the job's own";
    }
}

TEST_F(RunningInstallers, TheSameFileNameFromAnotherFolderIsNotWaitedFor) {
    const std::wstring installer = PlacedInstaller(Folder(L"Setup Folder"));
    const RunningInstaller running(Folder(L"Other Folder") + L"\\setup.exe", {});
    ASSERT_TRUE(running.Started());
    StartedJob job(dll.CreatePlugin(), Job(installer, product.ProductData()));
    ASSERT_TRUE(job.Started());
    EXPECT_EQ(job.WaitForEnd(), qvd::QVD_STATE_NOT_INSTALLED);
    EXPECT_EQ(job.Calls(), std::vector<SinkCall>{kStarted}) << Describe(job.Calls());
    EXPECT_TRUE(FileExists(launchedMarker)) << "the job's own installer ran";
    EXPECT_TRUE(running.Running()) << "the other one was left alone";
}

// The folder the job names, in other letter case, is the same folder.
TEST_F(RunningInstallers, TheJobsFolderInOtherLetterCaseIsTheSameFolder) {
    const std::wstring path = Folder(L"Case Folder") + L"\\setup.exe";
    const RunningInstaller running(path, {});
    ASSERT_TRUE(running.Started());
    StartedJob job(dll.CreatePlugin(), Job(AsciiUpper(path), product.ProductData()));
    ASSERT_TRUE(job.WaitForStatus(qvd::QVD_STATUS_WAITING)) << Describe(job.Calls());
    running.Release();
    EXPECT_EQ(job.WaitForEnd(), qvd::QVD_STATE_NOT_INSTALLED);
    EXPECT_EQ(job.Calls(), std::vector<SinkCall>{kWaiting}) << Describe(job.Calls());
}

// The stub of an earlier installation that asked for a restart: found under
// the job id in HKCU\SOFTWARE\Halvex, or as the program of the product's
// RunOnce entry, and only for jobs with an install cache.
TEST_F(RunningInstallers, AResumingStubIsWaitedForWhenTheJobHasAnInstallCache) {
    const std::wstring installer = PlacedInstaller(Folder(L"Setup Folder"));
    const std::wstring stub = Folder(L"Stub Folder") + L"\\inst stub.exe";
    const std::wstring missing = dir.file(L"Stub Folder\\gone.exe");
    const std::wstring runOnceLine = L"\"" + stub + L"\" /resume -q";
    const struct {
        const char* what;
        std::optional<std::wstring> recorded;
        bool inRunOnce;
        bool withCache;
        bool waited;
    } rows[] = {
        {"recorded under the job id", stub, false, true, true},
        {"in RunOnce, quoted with switches", std::nullopt, true, true, true},
        {"recorded path gone, found in RunOnce", missing, true, true, true},
        {"recorded path gone, no RunOnce entry", missing, false, true, false},
        {"recorded under the job id, no install cache", stub, false, false, false},
        {"in RunOnce, no install cache", std::nullopt, true, false, false},
    };
    RunOnceEntry runOnce;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        DeleteFileW(launchedMarker.c_str());
        const RunningInstaller running(stub, {});
        ASSERT_TRUE(running.Started());
        const std::wstring jobId = jobIds.New();
        if (row.recorded) {
            ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kUserHalvexKey, jobId.c_str(), REG_SZ,
                                      row.recorded->c_str(),
                                      static_cast<DWORD>((row.recorded->size() + 1) * 2)),
                      ERROR_SUCCESS);
        }
        if (row.inRunOnce)
            ASSERT_TRUE(runOnce.Set(runOnceLine));
        else
            runOnce.Remove();
        const std::string productData =
            row.withCache ? product.ProductData() : product.ProductDataWithoutCache();
        StartedJob job(dll.CreatePlugin(),
                       JobFor(installer, "\"job_id\": " + JsonString(jobId) + ", " + productData));
        ASSERT_TRUE(job.Started());
        if (row.waited) {
            ASSERT_TRUE(job.WaitForStatus(qvd::QVD_STATUS_WAITING)) << Describe(job.Calls());
            running.Release();
        }
        EXPECT_EQ(job.WaitForEnd(), qvd::QVD_STATE_NOT_INSTALLED);
        EXPECT_EQ(job.Calls(), std::vector<SinkCall>{row.waited ? kWaiting : kStarted})
            << Describe(job.Calls());
        EXPECT_EQ(FileExists(launchedMarker), !row.waited);
    }
}

// A cancel during the wait for a running installer ends the job at once,
// leaves the installer running and the exit code unknown.
TEST_F(RunningInstallers, ACancelEndsTheWaitAndLeavesTheInstallerRunning) {
    const std::wstring path = Folder(L"Setup Folder") + L"\\setup.exe";
    const RunningInstaller running(path, {"exit_code=0x80070BC2"});
    ASSERT_TRUE(running.Started());
    StartedJob job(dll.CreatePlugin(), Job(path, product.ProductData()));
    ASSERT_TRUE(job.WaitForStatus(qvd::QVD_STATUS_WAITING)) << Describe(job.Calls());
    ASSERT_TRUE(job.CancelWithin(kCancelBoundMs));
    EXPECT_EQ(job.State(), qvd::QVD_STATE_NOT_INSTALLED);
    EXPECT_EQ(job.ExitCode(), kExitCodeNotKnown);
    EXPECT_EQ(job.Calls(), std::vector<SinkCall>{kWaiting}) << Describe(job.Calls());
    EXPECT_TRUE(running.Running());
}

// Before Windows 6.0 the scan that sees a process opens it with other rights
// than the one that opens it for waiting; a process seen but not opened is
// looked for again every 100 ms until it is gone. The plug-in is linked in
// so that the version seam can name the old version.
class PolledInstaller : public RunningInstallers {
protected:
    PolledInstaller() {
        pxLib::OsVersion xp;
        xp.major = 5;
        xp.minor = 1;
        platform->version = xp;
    }
    ScopedFakePlatform platform;
};

TEST_F(PolledInstaller, IsWaitedForUntilItIsGoneWithOneStatus) {
    const std::wstring path = Folder(L"Setup Folder") + L"\\setup.exe";
    const RunningInstaller running(path, {"exit_code=0x80070BC2"});
    ASSERT_TRUE(running.Started());
    StartedJob job(CreateLinkedPlugin(), Job(path, product.ProductData()));
    ASSERT_TRUE(job.WaitForStatus(qvd::QVD_STATUS_WAITING)) << Describe(job.Calls());
    Sleep(kStillWaitingMs);
    EXPECT_EQ(job.State(), qvd::QVD_STATE_RUNNING) << "polled while it runs";
    running.Release();
    // Its exit code was never read: the run maps what it had, and nothing
    // says a restart is needed.
    EXPECT_EQ(job.WaitForEnd(), qvd::QVD_STATE_NOT_INSTALLED);
    EXPECT_EQ(job.ExitCode(), kUnreadExitCode);
    EXPECT_EQ(job.Calls(), std::vector<SinkCall>{kWaiting}) << Describe(job.Calls());
}

TEST_F(PolledInstaller, ACancelEndsThePolling) {
    const std::wstring path = Folder(L"Setup Folder") + L"\\setup.exe";
    const RunningInstaller running(path, {});
    ASSERT_TRUE(running.Started());
    StartedJob job(CreateLinkedPlugin(), Job(path, product.ProductData()));
    ASSERT_TRUE(job.WaitForStatus(qvd::QVD_STATUS_WAITING)) << Describe(job.Calls());
    ASSERT_TRUE(job.CancelWithin(kCancelBoundMs));
    EXPECT_EQ(job.State(), qvd::QVD_STATE_NOT_INSTALLED);
    EXPECT_EQ(job.ExitCode(), kExitCodeNotKnown);
    EXPECT_TRUE(running.Running());
}

}  // namespace
}  // namespace qvdtest
