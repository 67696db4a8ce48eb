// Whole jobs through the DLL: the signed fake installer is really started
// under Wine, waited for, cancelled, and its exit code mapped.
#include "PluginTestSupport.h"
#include "common/ScopedJobIds.h"
#include "support/system/UniqueHandle.h"

#include <gtest/gtest.h>

#include <memory>

namespace qvdtest {
namespace {

class JobLifecycle : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(dll.module(), nullptr); }

    struct Run {
        int32_t state = 0;
        uint32_t exitCode = 0;
        std::vector<SinkCall> calls;
    };

    Run RunToEnd(const std::wstring& job) {
        Run run;
        pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
        EXPECT_TRUE(plugin);
        if (!plugin) return run;
        RecordingSink sink;
        EXPECT_EQ(plugin->Start(job.c_str(), &sink), S_OK);
        run.state = WaitForFinalState(plugin);
        run.exitCode = plugin->GetExitCode();
        run.calls = sink.Calls();
        plugin.reset();
        return run;
    }

    LoadedPlugin dll;
    TempDir dir;
    // Restart-needed results mark their job: each job has an id of its own.
    ScopedJobIds jobIds;
};

TEST_F(JobLifecycle, TextThatIsNotJsonHasNoInstallerEntry) {
    for (const wchar_t* text :
         {L"this is not json", L"", L"{\"file_array\": [", L"{\"file_array\": 7}"}) {
        const Run run = RunToEnd(text);
        EXPECT_EQ(run.state, qvd::QVD_STATE_FAILED);
        EXPECT_EQ(run.exitCode, kExitCodeNotKnown);
        EXPECT_EQ(run.calls, (std::vector<SinkCall>{ErrorCall(qvd::QVD_E_NO_INSTALLER, 608),
                                                    StatusCall(qvd::QVD_STATUS_FAILED)}))
            << Describe(run.calls);
    }
}

TEST_F(JobLifecycle, AJsonTypeErrorEndsTheRunThroughItsCatchAll) {
    const std::wstring installer = PlaceInstaller(
        dir, L"maker", L"setup.exe", {"started_marker=" + Narrow(dir.file(L"started"))});
    const Run run = RunToEnd(JobFor(installer, "\"product_data\": \"not an object\""));
    EXPECT_EQ(run.state, qvd::QVD_STATE_FAILED);
    EXPECT_EQ(run.calls, (std::vector<SinkCall>{ErrorCall(qvd::QVD_E_EXCEPTION, 1177)}))
        << Describe(run.calls);
    EXPECT_FALSE(FileExists(dir.file(L"started")));
}

TEST_F(JobLifecycle, AnInstallerThatFailsVerificationIsNeverStarted) {
    const struct {
        const wchar_t* fixture;  // null: no file at all
        const char* what;
    } cases[] = {{L"unsigned", "unsigned"}, {L"tampered", "tampered"}, {nullptr, "missing"}};
    for (const auto& c : cases) {
        const std::wstring marker = dir.file(L"started-" + Widen(c.what));
        std::wstring installer = dir.file(Widen(c.what) + L".exe");
        if (c.fixture) {
            installer = PlaceInstaller(dir, c.fixture, Widen(c.what) + L".exe",
                                       {"started_marker=" + Narrow(marker)});
        }
        const Run run = RunToEnd(JobFor(installer));
        EXPECT_EQ(run.state, qvd::QVD_STATE_LAUNCH_FAILED) << c.what;
        EXPECT_EQ(run.exitCode, kExitCodeNotKnown) << c.what;
        EXPECT_EQ(run.calls, (std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_FAILED)}))
            << c.what << ": " << Describe(run.calls);
        Sleep(200);
        EXPECT_FALSE(FileExists(marker)) << c.what << " was started";
    }
}

TEST_F(JobLifecycle, TheExitCodeDecidesTheStateAndTheReports) {
    const SinkCall started = StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED);
    const struct {
        uint32_t exitCode;
        int32_t state;
        std::vector<SinkCall> calls;
    } rows[] = {
        // Without install data the follow-up check cannot find the product.
        {0, qvd::QVD_STATE_NOT_INSTALLED, {started}},
        {0x80070642, qvd::QVD_STATE_NOT_INSTALLED, {started}},
        {0x80170642, qvd::QVD_STATE_NOT_INSTALLED, {started}},
        {0x80047C09, qvd::QVD_STATE_NOT_INSTALLED, {started}},
        {0x80047C13, qvd::QVD_STATE_NOT_INSTALLED, {started}},
        {0x80047C14, qvd::QVD_STATE_NOT_INSTALLED, {started}},
        {0x80070669, qvd::QVD_STATE_REBOOTING, {started}},
        {0x00047C03, qvd::QVD_STATE_REBOOTING, {started}},
        {0x00047C04, qvd::QVD_STATE_REBOOTING, {started}},
        {0x80070BC2, qvd::QVD_STATE_REBOOT_REQUIRED, {started}},
        {0x00047C05, qvd::QVD_STATE_REBOOT_REQUIRED, {started}},
        {0x8017000C, qvd::QVD_STATE_INSTALLER_UNREPORTED, {started}},
        {0x80047C05, qvd::QVD_STATE_INSTALLER_UNREPORTED, {started}},
        {0x80047C02, qvd::QVD_STATE_INSTALLER_UNREPORTED, {started}},
        {0x00047C02, qvd::QVD_STATE_INSTALLER_UNREPORTED, {started}},
        {0x80170002, qvd::QVD_STATE_INSTALLER_REPORTED, {started, ErrorCall(0x80170002, 1153)}},
        {0x80070070, qvd::QVD_STATE_INSTALLER_REPORTED, {started, ErrorCall(0x80070070, 1153)}},
        {0x80047C01, qvd::QVD_STATE_INSTALLER_REPORTED, {started, ErrorCall(0x80047C01, 1153)}},
        {0x80047D70, qvd::QVD_STATE_INSTALLER_FAILED, {started, ErrorCall(0x80047D70, 1163)}},
        {0x80047D73, qvd::QVD_STATE_INSTALLER_FAILED, {started, ErrorCall(0x80047D73, 1163)}},
        {0x80047D74,
         qvd::QVD_STATE_FAILED,
         {started, ErrorCall(qvd::QVD_E_INSTALLER_FAILED, 1170)}},
        {5, qvd::QVD_STATE_FAILED, {started, ErrorCall(qvd::QVD_E_INSTALLER_FAILED, 1170)}},
        {0x80047C10,
         qvd::QVD_STATE_INSTALLER_DECLINED,
         {started, ErrorCall(qvd::QVD_E_DECLINED, 1092), StatusCall(qvd::QVD_STATUS_DECLINED)}},
    };
    int n = 0;
    for (const auto& row : rows) {
        char code[16];
        snprintf(code, sizeof(code), "0x%08X", row.exitCode);
        const std::wstring installer =
            PlaceInstaller(dir, L"maker", L"setup" + std::to_wstring(++n) + L".exe",
                           {std::string("exit_code=") + code});
        const Run run = RunToEnd(JobFor(installer, jobIds.NewMember()));
        EXPECT_EQ(run.state, row.state) << code;
        EXPECT_EQ(run.exitCode, row.exitCode) << code;
        EXPECT_EQ(run.calls, row.calls) << code << ": " << Describe(run.calls);
    }
}

TEST_F(JobLifecycle, CancelEndsTheWaitButLeavesTheInstallerRunning) {
    const std::wstring started = dir.file(L"started"), release = dir.file(L"release"),
                       finished = dir.file(L"finished");
    const std::wstring installer =
        PlaceInstaller(dir, L"maker", L"slow setup.exe",
                       {"started_marker=" + Narrow(started), "wait_for_file=" + Narrow(release),
                        "write_file=" + Narrow(finished)});
    pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
    ASSERT_TRUE(plugin);
    RecordingSink sink;
    ASSERT_EQ(plugin->Start(JobFor(installer).c_str(), &sink), S_OK);
    ASSERT_TRUE(WaitForFile(started, 60000));

    // The job holds the installer open: nobody can change it now.
    pxLib::UniqueHandle writer(CreateFileW(installer.c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(static_cast<bool>(writer));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DeleteFileW(installer.c_str()));

    // The installer waits for the release file, so only the cancel can end the wait.
    EXPECT_EQ(plugin->CancelAndWait(), S_OK);
    int32_t state = 0;
    EXPECT_EQ(plugin->GetState(&state), S_OK);
    EXPECT_EQ(state, qvd::QVD_STATE_NOT_INSTALLED);
    EXPECT_EQ(plugin->GetExitCode(), kExitCodeNotKnown);
    EXPECT_EQ(sink.Calls(), (std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED)}))
        << Describe(sink.Calls());
    plugin.reset();
    // Never terminated: released, it finishes its work on its own.
    ASSERT_TRUE(WriteFileUtf8(release, "go"));
    EXPECT_TRUE(WaitForFile(finished, 60000));
    // And the file is free again once the run has ended (and the installer,
    // whose image it is, has exited after writing its last file).
    pxLib::UniqueHandle again;
    const ULONGLONG deadline = GetTickCount64() + 30000;
    do {
        again.reset(
            CreateFileW(installer.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    } while (!again && GetTickCount64() < deadline && (Sleep(20), true));
    EXPECT_TRUE(static_cast<bool>(again)) << GetLastError();
}

TEST_F(JobLifecycle, CancelAndWaitFromInsideASinkCallIsRefused) {
    class CancellingSink : public RecordingSink {
    public:
        void ReportStatus(int32_t status) override {
            RecordingSink::ReportStatus(status);
            if (status == qvd::QVD_STATUS_INSTALLER_STARTED) joinResult = plugin->CancelAndWait();
        }
        qvd::IQVDPlugin* plugin = nullptr;
        HRESULT joinResult = S_OK;
    };
    const std::wstring installer = PlaceInstaller(dir, L"maker", L"setup.exe", {"exit_code=0"});
    pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
    ASSERT_TRUE(plugin);
    CancellingSink sink;
    sink.plugin = plugin.get();
    ASSERT_EQ(plugin->Start(JobFor(installer).c_str(), &sink), S_OK);
    EXPECT_EQ(WaitForFinalState(plugin), qvd::QVD_STATE_NOT_INSTALLED);
    EXPECT_EQ(sink.joinResult, E_UNEXPECTED) << "a worker cannot join itself";
    EXPECT_EQ(plugin->CancelAndWait(), S_OK);
    plugin.reset();
}

TEST_F(JobLifecycle, AnObjectTakesOneJobAndRefusesEveryOtherStart) {
    const std::wstring started = dir.file(L"started"), release = dir.file(L"release");
    const std::wstring installer =
        PlaceInstaller(dir, L"maker", L"setup.exe",
                       {"wait_for_file=" + Narrow(release), "exit_code=0x80070BC2",
                        "started_marker=" + Narrow(started)});
    const std::wstring againMarker = dir.file(L"again-started");
    const std::wstring again =
        PlaceInstaller(dir, L"maker", L"again.exe", {"started_marker=" + Narrow(againMarker)});
    pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
    ASSERT_TRUE(plugin);
    RecordingSink first, second;
    ASSERT_EQ(plugin->Start(JobFor(installer, jobIds.NewMember()).c_str(), &first), S_OK);
    ASSERT_TRUE(WaitForFile(started, 30000));
    EXPECT_EQ(plugin->Start(L"not even json", &second), static_cast<HRESULT>(0x800700AA));
    ASSERT_TRUE(WriteFileUtf8(release, "go"));
    EXPECT_EQ(WaitForFinalState(plugin), qvd::QVD_STATE_REBOOT_REQUIRED);
    EXPECT_EQ(plugin->GetExitCode(), 0x80070BC2u);
    EXPECT_EQ(first.Calls(),
              (std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED)}));
    EXPECT_TRUE(second.Calls().empty());

    // After the job ended, a job that would run to its launch is refused too:
    // nothing of the first job changes and nothing starts.
    EXPECT_EQ(plugin->Start(JobFor(again).c_str(), &second), static_cast<HRESULT>(0x8000000E));
    EXPECT_EQ(plugin->CancelAndWait(), S_OK);
    int32_t state = 0;
    EXPECT_EQ(plugin->GetState(&state), S_OK);
    EXPECT_EQ(state, qvd::QVD_STATE_REBOOT_REQUIRED);
    EXPECT_EQ(plugin->GetExitCode(), 0x80070BC2u);
    EXPECT_TRUE(second.Calls().empty());
    EXPECT_EQ(first.Calls(),
              (std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED)}));
    Sleep(300);
    EXPECT_FALSE(FileExists(againMarker));
}

// A host that cancels before it starts the job: the job ends at its first
// cancel test.
TEST_F(JobLifecycle, CancelAndWaitBeforeStartEndsTheJobUnstarted) {
    const std::wstring marker = dir.file(L"started");
    const std::wstring installer =
        PlaceInstaller(dir, L"maker", L"setup.exe", {"started_marker=" + Narrow(marker)});
    pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->CancelAndWait(), S_OK);
    RecordingSink sink;
    ASSERT_EQ(plugin->Start(JobFor(installer).c_str(), &sink), S_OK);
    EXPECT_EQ(WaitForFinalState(plugin), qvd::QVD_STATE_NOT_INSTALLED);
    EXPECT_EQ(plugin->CancelAndWait(), S_OK);
    EXPECT_EQ(plugin->GetExitCode(), kExitCodeNotKnown);
    EXPECT_TRUE(sink.Calls().empty()) << Describe(sink.Calls());
    Sleep(300);
    EXPECT_FALSE(FileExists(marker));
}

// A host that releases the object while its job runs (a service shutting
// down) does not free it under the worker: the run keeps it, and the module,
// until the run has ended.
TEST_F(JobLifecycle, AnObjectReleasedDuringItsRunLivesUntilTheRunEnds) {
    const std::wstring started = dir.file(L"started"), release = dir.file(L"release"),
                       finished = dir.file(L"finished");
    const std::wstring installer =
        PlaceInstaller(dir, L"maker", L"setup.exe",
                       {"started_marker=" + Narrow(started), "wait_for_file=" + Narrow(release),
                        "write_file=" + Narrow(finished)});
    const uint32_t before = dll.GetObjectCount();
    pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
    ASSERT_TRUE(plugin);
    RecordingSink sink;
    ASSERT_EQ(plugin->Start(JobFor(installer).c_str(), &sink), S_OK);
    ASSERT_TRUE(WaitForFile(started, 60000));
    EXPECT_EQ(dll.GetObjectCount(), before + 1);
    EXPECT_EQ(dll.DllCanUnloadNow(), S_FALSE) << "a running job keeps the module";

    plugin.reset();
    EXPECT_EQ(dll.GetObjectCount(), before + 1) << "the run still holds the object";
    EXPECT_EQ(dll.DllCanUnloadNow(), S_FALSE);

    ASSERT_TRUE(WriteFileUtf8(release, "go"));
    EXPECT_TRUE(WaitForFile(finished, 60000));
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (dll.GetObjectCount() != before && GetTickCount64() < deadline) Sleep(20);
    EXPECT_EQ(dll.GetObjectCount(), before);
    EXPECT_EQ(dll.DllCanUnloadNow(), S_OK);
    EXPECT_EQ(sink.Calls(), (std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED)}))
        << Describe(sink.Calls());
}

TEST_F(JobLifecycle, SixteenJobsRunAtOnceInOneProcess) {
    constexpr int kJobs = 16;
    struct Job {
        pxLib::ComPtr<qvd::IQVDPlugin> plugin;
        RecordingSink sink;
    };
    std::vector<std::unique_ptr<Job>> jobs;
    for (int i = 0; i < kJobs; ++i) {
        auto job = std::make_unique<Job>();
        const std::wstring installer =
            PlaceInstaller(dir, L"maker", L"setup" + std::to_wstring(i) + L".exe",
                           {"sleep_ms=300", "exit_code=" + std::to_string(0x80070BC2u + 0)});
        job->plugin = dll.CreatePlugin();
        ASSERT_TRUE(job->plugin);
        ASSERT_EQ(job->plugin->Start(JobFor(installer, jobIds.NewMember()).c_str(), &job->sink),
                  S_OK);
        jobs.push_back(std::move(job));
    }
    for (auto& job : jobs) {
        EXPECT_EQ(WaitForFinalState(job->plugin, 120000), qvd::QVD_STATE_REBOOT_REQUIRED);
        EXPECT_EQ(job->plugin->GetExitCode(), 0x80070BC2u);
        EXPECT_EQ(job->sink.Calls(),
                  (std::vector<SinkCall>{StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED)}));
        EXPECT_EQ(job->plugin->CancelAndWait(), S_OK);
        job->plugin.reset();
    }
}

}  // namespace
}  // namespace qvdtest
