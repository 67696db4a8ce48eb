// The restart state kept between runs, through the real DLL under Wine with
// real keys: the per-job mark and the recorded stub path a restart-needed
// result leaves, the next run finding the mark, the host engine's staged
// update of the product, and the machine's own restart marker.
#include "PluginTestSupport.h"
#include "ProductProof.h"
#include "RunOnceEntry.h"
#include "common/ScopedJobIds.h"
#include "support/system/UniqueHandle.h"

#include <gtest/gtest.h>

#include <optional>

namespace qvdtest {
namespace {

const wchar_t kMarkValue[] = L"QVDInstallPendingReboot";
constexpr DWORD kMarkSet = 1;
constexpr DWORD kStageRunning = 3;
constexpr DWORD kStageNearlyDone = 4;
constexpr DWORD kStageFinished = 5;
// How long the test watches a job that must go on waiting.
constexpr DWORD kStillWaitingMs = 400;
constexpr DWORD kCancelBoundMs = 30000;

const SinkCall kWaiting = StatusCall(qvd::QVD_STATUS_WAITING);
const SinkCall kStarted = StatusCall(qvd::QVD_STATUS_INSTALLER_STARTED);
const SinkCall kInstalledAfterWait = StatusCall(qvd::QVD_STATUS_INSTALLED_AFTER_WAIT);
const SinkCall kAlreadyInstalled = StatusCall(qvd::QVD_STATUS_ALREADY_INSTALLED);

// A value of HKEY_CURRENT_USER as text: "REG_DWORD <n>", "REG_SZ <text>" or "absent".
std::string UserValue(const std::wstring& key, const std::wstring& name) {
    DWORD type = 0;
    union {
        DWORD number;
        wchar_t text[512];
    } data{};
    DWORD size = sizeof(data.text) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type,
                     &data, &size) != ERROR_SUCCESS)
        return "absent";
    if (type == REG_DWORD) return "REG_DWORD " + std::to_string(data.number);
    if (type == REG_SZ) return "REG_SZ " + Narrow(data.text);
    return "type " + std::to_string(type);
}

bool UserKeyExists(const std::wstring& key) {
    pxLib::UniqueRegKey opened;
    return RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.put()) ==
           ERROR_SUCCESS;
}

class RebootState : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(dll.module(), nullptr);
        product.SetInstalled(false);
    }

    struct Outcome {
        int32_t state = 0;
        uint32_t exitCode = 0;
        std::vector<SinkCall> calls;
        bool installerRan = false;
    };
    Outcome Run(const std::wstring& jobId, const std::string& productData) {
        DeleteFileW(launchedMarker.c_str());
        Outcome o;
        StartedJob job(dll.CreatePlugin(),
                       JobFor(installer, "\"job_id\": " + JsonString(jobId) + ", " + productData));
        EXPECT_TRUE(job.Started());
        o.state = job.WaitForEnd();
        o.exitCode = job.ExitCode();
        o.calls = job.Calls();
        o.installerRan = FileExists(launchedMarker);
        return o;
    }
    void PlaceJobInstaller(std::vector<std::string> behaviour) {
        behaviour.push_back("started_marker=" + Narrow(launchedMarker));
        installer = PlaceInstaller(dir, L"maker", L"setup.exe", behaviour);
    }

    LoadedPlugin dll;
    TempDir dir;
    ProductProof product{dir};
    ScopedJobIds jobIds;
    RunOnceEntry runOnce;
    const std::wstring launchedMarker = dir.file(L"launched");
    std::wstring installer;
};

// A restart-needed result keeps the stub's path (RunOnce entries go once
// Windows ran them) and marks the job; the next run of the same job finds
// the mark, clears it, and does not force the installer over what the
// restarted installation finished.
TEST_F(RebootState, ARestartNeededResultIsRecordedAndTakesTheNextRunsForceBack) {
    const std::wstring stub = dir.file(L"Stub Folder\\inst stub.exe");
    const struct {
        const char* exitCode;
        int32_t state;
    } rows[] = {
        {"0x80070BC2", qvd::QVD_STATE_REBOOT_REQUIRED},
        {"0x80070669", qvd::QVD_STATE_REBOOTING},
    };
    // Another value beside the marks, which no run may touch.
    const wchar_t kNeighbour[] = L"qvdtest-neighbour";
    struct Neighbour {
        const wchar_t* name;
        ~Neighbour() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserHalvexKey, name); }
    } neighbour{kNeighbour};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.exitCode);
        runOnce.Remove();
        product.SetInstalled(true);
        PlaceJobInstaller({std::string("exit_code=") + row.exitCode,
                           runOnce.WrittenByInstaller(L"\"" + stub + L"\" /resume")});
        const std::wstring jobId = jobIds.New();
        const std::string forced = product.ProductData(", \"force_overinstall\": 1");

        const Outcome first = Run(jobId, forced);
        EXPECT_TRUE(first.installerRan);
        EXPECT_EQ(first.state, row.state);
        EXPECT_EQ(first.calls, std::vector<SinkCall>{kStarted}) << Describe(first.calls);
        EXPECT_EQ(UserValue(kUserHalvexKey, jobId), "REG_SZ " + Narrow(stub));
        EXPECT_EQ(UserValue(RestartMarkKey(jobId), kMarkValue),
                  "REG_DWORD " + std::to_string(kMarkSet));

        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kUserHalvexKey, kNeighbour, REG_SZ, L"kept",
                                  sizeof(L"kept")),
                  ERROR_SUCCESS);
        const Outcome next = Run(jobId, forced);
        EXPECT_FALSE(next.installerRan) << "the force was taken back";
        EXPECT_EQ(next.state, qvd::QVD_STATE_INSTALLED);
        EXPECT_EQ(next.calls, std::vector<SinkCall>{kAlreadyInstalled}) << Describe(next.calls);
        EXPECT_FALSE(UserKeyExists(RestartMarkKey(jobId))) << "mark key removed";
        EXPECT_EQ(UserValue(kUserHalvexKey, kNeighbour), "REG_SZ kept");
        EXPECT_EQ(UserValue(kUserHalvexKey, jobId), "REG_SZ " + Narrow(stub))
            << "the stub path stays behind";

        // The mark is gone: a third run forces again.
        EXPECT_TRUE(Run(jobId, forced).installerRan);
        RegDeleteTreeW(HKEY_CURRENT_USER, RestartMarkKey(jobId).c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, RestartMarkKey(jobId).c_str());
    }
}

// Only a DWORD is a mark. A key that is there already is left as it is, even
// when the run ends asking for a restart.
TEST_F(RebootState, AStringMarkIsNotAMarkAndAnExistingKeyIsNotWritten) {
    product.SetInstalled(true);
    PlaceJobInstaller({"exit_code=0x80070BC2"});
    const std::wstring jobId = jobIds.New();
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, RestartMarkKey(jobId).c_str(), kMarkValue, REG_SZ,
                              L"1", sizeof(L"1")),
              ERROR_SUCCESS);
    const Outcome o = Run(jobId, product.ProductData(", \"force_overinstall\": 1"));
    EXPECT_TRUE(o.installerRan) << "still forced";
    EXPECT_EQ(o.state, qvd::QVD_STATE_REBOOT_REQUIRED);
    EXPECT_EQ(UserValue(RestartMarkKey(jobId), kMarkValue), "REG_SZ 1");
}

// The host engine's patch of the product, in the product's registry view.
class StagedUpdate : public RebootState {
protected:
    StagedUpdate()
        : patch(HKEY_LOCAL_MACHINE, product.Key() + L"\\ZOLT\\Patch\\" + ProcessRunKey()) {}
    void SetUp() override {
        RebootState::SetUp();
        PlaceJobInstaller({});
        ASSERT_TRUE(patch.SetString(L"NewVersion", Widen(ProductProof::kVersion)));
        ASSERT_TRUE(patch.SetDword(L"Stage", kStageRunning));
    }
    void RemoveStage() const {
        ASSERT_EQ(RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, patch.path().c_str(), L"Stage"),
                  ERROR_SUCCESS);
    }

    ScopedRegistryKey patch;
};

TEST_F(StagedUpdate, ThePatchOfThisVersionIsWaitedForThroughItsStagesUntilFive) {
    StartedJob job(dll.CreatePlugin(),
                   JobFor(installer, jobIds.NewMember() + ", " + product.ProductData()));
    ASSERT_TRUE(job.WaitForStatus(qvd::QVD_STATUS_WAITING)) << Describe(job.Calls());
    for (DWORD stage : {kStageRunning, kStageNearlyDone}) {
        ASSERT_TRUE(patch.SetDword(L"Stage", stage));
        Sleep(kStillWaitingMs);
        EXPECT_EQ(job.State(), qvd::QVD_STATE_RUNNING) << "stage " << stage;
        EXPECT_FALSE(FileExists(launchedMarker)) << "stage " << stage;
    }
    ASSERT_TRUE(patch.SetDword(L"Stage", kStageFinished));
    EXPECT_EQ(job.WaitForEnd(), qvd::QVD_STATE_NOT_INSTALLED);
    EXPECT_EQ(job.Calls(), (std::vector<SinkCall>{kWaiting, kStarted})) << Describe(job.Calls());
}

// A patch whose Stage goes away while it is watched is taken as done: a
// product found installed then counts as installed after a wait.
TEST_F(StagedUpdate, AStageThatGoesAwayEndsTheWait) {
    product.SetInstalled(true);
    StartedJob job(dll.CreatePlugin(),
                   JobFor(installer, jobIds.NewMember() + ", " + product.ProductData()));
    ASSERT_TRUE(job.WaitForStatus(qvd::QVD_STATUS_WAITING)) << Describe(job.Calls());
    RemoveStage();
    EXPECT_EQ(job.WaitForEnd(), qvd::QVD_STATE_INSTALLED);
    EXPECT_EQ(job.Calls(), (std::vector<SinkCall>{kWaiting, kInstalledAfterWait}))
        << Describe(job.Calls());
    EXPECT_FALSE(FileExists(launchedMarker));
}

TEST_F(StagedUpdate, WhatIsNotThisVersionsRunningPatchIsNotWaitedFor) {
    const char kLetteredVersion[] = "1.2.3.4-Beta";
    const struct {
        const char* what;
        const wchar_t* newVersion;
        DWORD stage;
        const char* jobVersion;
        bool withRebootKey;
        int32_t state;
        std::vector<SinkCall> calls;
    } rows[] = {
        {"another version, letter case alone",
         L"1.2.3.4-beta",
         kStageRunning,
         kLetteredVersion,
         false,
         qvd::QVD_STATE_NOT_INSTALLED,
         {kStarted}},
        {"finished already",
         L"1.2.3.4",
         kStageFinished,
         ProductProof::kVersion,
         false,
         qvd::QVD_STATE_NOT_INSTALLED,
         {kStarted}},
        {"waits for a restart",
         L"1.2.3.4",
         kStageRunning,
         ProductProof::kVersion,
         true,
         qvd::QVD_STATE_REBOOT_REQUIRED,
         {kAlreadyInstalled}},
        {"another version waits for a restart",
         L"1.2.3.5",
         kStageRunning,
         ProductProof::kVersion,
         true,
         qvd::QVD_STATE_NOT_INSTALLED,
         {kStarted}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(patch.SetString(L"NewVersion", row.newVersion));
        ASSERT_TRUE(patch.SetDword(L"Stage", row.stage));
        std::optional<ScopedRegistryKey> rebootKey;
        if (row.withRebootKey)
            rebootKey.emplace(HKEY_LOCAL_MACHINE, product.Key() + L"\\ZOLT\\Patch\\Reboot");
        const Outcome o = Run(jobIds.New(), product.ProductDataFor(row.jobVersion));
        EXPECT_EQ(o.state, row.state);
        EXPECT_EQ(o.calls, row.calls) << Describe(o.calls);
        EXPECT_EQ(o.installerRan, row.calls == std::vector<SinkCall>{kStarted});
    }
}

TEST_F(StagedUpdate, ACancelEndsTheWait) {
    StartedJob job(dll.CreatePlugin(),
                   JobFor(installer, jobIds.NewMember() + ", " + product.ProductData()));
    ASSERT_TRUE(job.WaitForStatus(qvd::QVD_STATUS_WAITING)) << Describe(job.Calls());
    ASSERT_TRUE(job.CancelWithin(kCancelBoundMs));
    EXPECT_EQ(job.State(), qvd::QVD_STATE_NOT_INSTALLED);
    EXPECT_EQ(job.Calls(), std::vector<SinkCall>{kWaiting}) << Describe(job.Calls());
    EXPECT_FALSE(FileExists(launchedMarker));
}

// The machine's restart marker, HKLM\SOFTWARE\Halvex\Reboot in the 32-bit
// view, placed for one test; it and a parent made for it go again.
class MachineRestartMarker {
public:
    MachineRestartMarker() : m_parentExisted(Exists(kParent)), m_markerExisted(Exists(kMarker)) {
        pxLib::UniqueRegKey parent, marker;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kParent, 0, nullptr, 0,
                                  KEY_READ | KEY_WOW64_32KEY, nullptr, parent.put(), nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMarker, 0, nullptr, REG_OPTION_VOLATILE,
                                  KEY_READ | KEY_WOW64_32KEY, nullptr, marker.put(), nullptr),
                  ERROR_SUCCESS);
    }
    ~MachineRestartMarker() {
        if (!m_markerExisted) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kMarker, KEY_WOW64_32KEY, 0);
        // Deleting a key that still has subkeys fails, which keeps what others put there.
        if (!m_parentExisted) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kParent, KEY_WOW64_32KEY, 0);
    }

private:
    static constexpr const wchar_t* kParent = L"SOFTWARE\\Halvex";
    static constexpr const wchar_t* kMarker = L"SOFTWARE\\Halvex\\Reboot";
    static bool Exists(const wchar_t* path) {
        pxLib::UniqueRegKey key;
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_32KEY, key.put()) ==
               ERROR_SUCCESS;
    }
    bool m_parentExisted;
    bool m_markerExisted;
};

TEST_F(RebootState, AMachineRestartStillPendingStartsNothing) {
    PlaceJobInstaller({});
    Outcome o;
    {
        const MachineRestartMarker marker;
        o = Run(jobIds.New(), product.ProductData());
    }
    EXPECT_EQ(o.state, qvd::QVD_STATE_REBOOT_REQUIRED);
    EXPECT_TRUE(o.calls.empty()) << Describe(o.calls);
    EXPECT_FALSE(o.installerRan);
    EXPECT_EQ(o.exitCode, kExitCodeNotKnown);
}

}  // namespace
}  // namespace qvdtest
