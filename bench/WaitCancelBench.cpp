// How promptly CancelAndWait ends each wait that happens before the job's own
// installer starts, and what a waiting job costs in CPU. Run under Wine:
//   cmake/wine-run "$PWD/build/windows/wineprefix" build/windows/bench/wait_cancel_bench.exe
// The plug-in object is linked in, so that the version seam can name an old
// Windows, where a running installer is seen but cannot be opened for
// waiting and is polled instead.
//
// Prints, for each wait: the latency from the CancelAndWait call to its
// return over several cancels made at random moments of the wait, and the
// process's CPU time (GetProcessTimes, user and kernel) over a 10-second wait.
// Under Wine the process snapshots of the polling wait are made by the
// wineserver, whose time is not the process's.
#include "plugin/ModuleLifetime.h"
#include "plugin/QVDHostInterface.h"
#include "plugin/QVDPluginFactory.h"
#include "support/system/ComPtr.h"
#include "support/system/Platform.h"
#include "support/system/UniqueHandle.h"
#include "support/text/WideUtf8.h"

#include <json/json.h>

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kCancelsPerWait = 15;
constexpr DWORD kCpuWaitMs = 10000;
constexpr DWORD kStatusTimeoutMs = 60000;
constexpr int32_t kStatusWaiting = 15;
// The longest pause of each wait between two looks at the cancel: cancels are
// made at random moments within it.
constexpr DWORD kPatchWaitPeriodMs = 250;
constexpr DWORD kPollPeriodMs = 100;

std::wstring Widen(const std::string& s) {
    return pxLib::Utf8ToWide(s);
}

std::string JsonString(const std::wstring& text) {
    return Json::valueToQuotedString(pxLib::WideToUtf8(text).c_str());
}

std::wstring NewGuidText() {
    GUID guid{};
    CoCreateGuid(&guid);
    wchar_t text[39] = {};
    StringFromGUID2(guid, text, 39);
    return text;
}

// The build's fake installer, as Windows programs under Wine see its Unix path.
std::wstring FakeInstaller() {
    std::wstring path = L"Z:" + Widen(QVD_BENCH_FAKE_INSTALLER);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](FILETIME t) {
        return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

class StatusSink : public qvd::IQVDJobSink {
public:
    void ReportError(int32_t, const wchar_t*) override {}
    void ReportStatus(int32_t status) override {
        if (status == kStatusWaiting) m_waiting = true;
    }
    bool WaitForWaiting() const {
        const ULONGLONG end = GetTickCount64() + kStatusTimeoutMs;
        while (!m_waiting) {
            if (GetTickCount64() > end) return false;
            Sleep(5);
        }
        return true;
    }

private:
    std::atomic<bool> m_waiting{false};
};

// The version seam: the real machine, or an old Windows.
class BenchPlatform : public pxLib::IPlatform {
public:
    pxLib::OsVersion Version() override {
        pxLib::OsVersion version = pxLib::RealOsVersion();
        if (oldWindows) {
            version.major = 5;
            version.minor = 1;
        }
        return version;
    }
    bool IsLocalSystem() override { return pxLib::RealIsLocalSystem(); }
    BOOL ExecuteWithShell(SHELLEXECUTEINFOW* info) override { return ShellExecuteExW(info); }
    bool oldWindows = false;
};

pxLib::ComPtr<qvd::IQVDPlugin> NewPlugin() {
    pxLib::ComPtr<qvd::IPluginFactory> factory;
    pxLib::ComPtr<qvd::IQVDPlugin> plugin;
    if (qvd::plugin::GetPluginFactory(&qvd::FACTORYID_QVDPlugin, factory.put_void()) !=
            qvd::OBJ_OK ||
        factory->CreateInstance(qvd::IID_IQVDPlugin, plugin.put_void()) < 0)
        return {};
    return plugin;
}

struct Figures {
    std::vector<double> latenciesMs;
    double cpuMs = -1;
    double wallMs = 0;
};

// Starts the job, waits until it reports that it waits, then cancels after
// delay; returns the latency of CancelAndWait, or -1 when the job never waited.
double CancelOnce(const std::wstring& job, DWORD delayMs, Figures* cpu = nullptr) {
    pxLib::ComPtr<qvd::IQVDPlugin> plugin = NewPlugin();
    StatusSink sink;
    if (!plugin || plugin->Start(job.c_str(), &sink) != S_OK || !sink.WaitForWaiting()) {
        // The round is lost either way; what cancelling answers adds nothing.
        if (plugin) static_cast<void>(plugin->CancelAndWait());
        return -1;
    }
    double cpuBefore = 0;
    LARGE_INTEGER wallBefore{};
    if (cpu) {
        cpuBefore = ProcessCpuMs();
        QueryPerformanceCounter(&wallBefore);
    }
    Sleep(delayMs);
    if (cpu) {
        LARGE_INTEGER wallAfter;
        QueryPerformanceCounter(&wallAfter);
        cpu->cpuMs = ProcessCpuMs() - cpuBefore;
        cpu->wallMs = Milliseconds(wallBefore, wallAfter);
    }
    int32_t state = 0;
    if (plugin->GetState(&state) != S_OK || state != qvd::QVD_STATE_RUNNING) return -1;
    LARGE_INTEGER before, after;
    QueryPerformanceCounter(&before);
    const HRESULT cancelled = plugin->CancelAndWait();
    QueryPerformanceCounter(&after);
    return cancelled == S_OK ? Milliseconds(before, after) : -1;
}

Figures Measure(const std::wstring& job, DWORD periodMs, std::mt19937& random) {
    Figures figures;
    std::uniform_int_distribution<DWORD> delay(0, periodMs);
    for (int i = 0; i < kCancelsPerWait; ++i) {
        const double ms = CancelOnce(job, delay(random));
        if (ms >= 0) figures.latenciesMs.push_back(ms);
    }
    CancelOnce(job, kCpuWaitMs, &figures);
    return figures;
}

void Print(const char* wait, Figures figures) {
    if (figures.latenciesMs.empty()) {
        std::printf("%-34s the job never waited\n", wait);
        return;
    }
    std::sort(figures.latenciesMs.begin(), figures.latenciesMs.end());
    const double median = figures.latenciesMs[figures.latenciesMs.size() / 2];
    std::printf("%-34s cancel latency ms: min %7.2f  median %7.2f  max %7.2f  (%zu cancels)\n",
                wait, figures.latenciesMs.front(), median, figures.latenciesMs.back(),
                figures.latenciesMs.size());
    std::printf("%-34s process CPU over %.0f ms of waiting: %.1f ms\n", "", figures.wallMs,
                figures.cpuMs);
}

// An installer started before the job, from the job's installer path, until the end.
class RunningInstaller {
public:
    RunningInstaller(const std::wstring& path, const std::wstring& release) {
        if (!CopyFileW(FakeInstaller().c_str(), path.c_str(), FALSE)) return;
        std::ofstream((path + L".behaviour").c_str())
            << "wait_for_file=" << pxLib::WideToUtf8(release) << "\n";
        std::wstring commandLine = L"\"" + path + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &info)) {
            m_process.reset(info.hProcess);
            const pxLib::UniqueHandle thread(info.hThread);
        }
        m_release = release;
    }
    ~RunningInstaller() {
        std::ofstream(m_release.c_str()) << "go";
        if (m_process) WaitForSingleObject(m_process.get(), kStatusTimeoutMs);
    }
    explicit operator bool() const { return static_cast<bool>(m_process); }

private:
    pxLib::UniqueHandle m_process;
    std::wstring m_release;
};

}  // namespace

int main() {
    qvd::plugin::ModuleStartup(GetModuleHandleW(nullptr));
    BenchPlatform platform;
    pxLib::IPlatform* const realPlatform = pxLib::SetPlatformForTesting(&platform);
    std::mt19937 random(20240611);

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"qvd wait bench " + NewGuidText();
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring silo = NewGuidText();
    const std::wstring runKey = L"QvdBench" + NewGuidText();
    const std::wstring productKey = L"SOFTWARE\\Halvex\\" + silo;
    const std::wstring patchKey = productKey + L"\\ZOLT\\Patch\\" + runKey;
    const std::string productData =
        "\"product_data\": {\"silo\": " + JsonString(silo) +
        ", \"product_version\": \"1.0\", \"run_key\": " + JsonString(runKey) + "}";
    auto job = [&](const std::wstring& installer) {
        return Widen("{\"job_id\": " + JsonString(L"bench-" + NewGuidText()) +
                     ", \"file_array\": [{\"type\": \"job_installer\", \"destination_file\": " +
                     JsonString(installer) + "}], " + productData + "}");
    };

    std::printf("Cancel latency and CPU use of the waits before the job's installer starts\n");
    {
        // The host engine's patch of the job's version, still at stage 3.
        pxLib::UniqueRegKey patch;
        const DWORD stage = 3;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, patchKey.c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, patch.put(),
                            nullptr) == ERROR_SUCCESS &&
            RegSetValueExW(patch.get(), L"NewVersion", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(L"1.0"),
                           sizeof(L"1.0")) == ERROR_SUCCESS &&
            RegSetValueExW(patch.get(), L"Stage", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&stage), sizeof(stage)) == ERROR_SUCCESS)
            Print("staged-update (patch) wait:",
                  Measure(job(folder + L"\\absent.exe"), kPatchWaitPeriodMs, random));
        else
            std::printf("the patch key could not be made\n");
        patch.reset();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, productKey.c_str());
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, productKey.c_str(), KEY_WOW64_64KEY, 0);
    }
    {
        const std::wstring installer = folder + L"\\setup.exe";
        const RunningInstaller running(installer, folder + L"\\release");
        if (!running) {
            std::printf("the running installer could not be started\n");
        } else {
            platform.oldWindows = true;
            Print("polling wait (seen, not opened):",
                  Measure(job(installer), kPollPeriodMs, random));
            platform.oldWindows = false;
            Print("final wait (opened installer):", Measure(job(installer), kPollPeriodMs, random));
        }
    }
    for (const wchar_t* name : {L"\\setup.exe", L"\\setup.exe.behaviour", L"\\release"})
        DeleteFileW((folder + name).c_str());
    RemoveDirectoryW(folder.c_str());
    pxLib::SetPlatformForTesting(realPlatform);
    return 0;
}
