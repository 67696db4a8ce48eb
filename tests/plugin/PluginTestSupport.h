// Helpers for driving the plug-in as a host does.
#pragma once

#include "TestSupport.h"
#include "plugin/QVDHostInterface.h"
#include "support/system/ComPtr.h"

#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace qvdtest {

// One sink call as the host saw it.
struct SinkCall {
    bool isError;
    int32_t value;          // error code or status
    std::wstring location;  // for errors
    bool operator==(const SinkCall& o) const {
        return isError == o.isError && value == o.value && location == o.location;
    }
};
// gtest prints sink calls with this.
void PrintTo(const SinkCall& call, std::ostream* out);
SinkCall ErrorCall(uint32_t code, unsigned line);
SinkCall StatusCall(int32_t status);
std::string Describe(const std::vector<SinkCall>& calls);

class RecordingSink : public qvd::IQVDJobSink {
public:
    void ReportError(int32_t code, const wchar_t* location) override;
    void ReportStatus(int32_t status) override;
    std::vector<SinkCall> Calls() const;

private:
    mutable std::mutex m_lock;
    std::vector<SinkCall> m_calls;
};

// The built DLL, loaded for the life of the object.
class LoadedPlugin {
public:
    LoadedPlugin();
    ~LoadedPlugin();
    HMODULE module() const { return m_module; }
    PFN_QVDGetFactory GetFactory = nullptr;
    PFN_QVDGetObjectCount GetObjectCount = nullptr;
    HRESULT(WINAPI* DllGetClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* DllCanUnloadNow)() = nullptr;

    // A new plug-in object through the factory (released by the caller).
    pxLib::ComPtr<qvd::IQVDPlugin> CreatePlugin();

private:
    HMODULE m_module = nullptr;
};

// A job text: the installer entry for path, then the given extra members
// (already JSON, e.g. "\"product_data\": {...}").
std::wstring JobFor(const std::wstring& installerPath, const std::string& extraMembers = "");
std::string JsonString(const std::wstring& text);

// Debug options beneath a product's key that write every line to
// "QVDPlugin.log" in folder; they go with the object. The plug-in loads its
// options once per process.
class ProductDebugLog {
public:
    ProductDebugLog(const std::wstring& productKey, const std::wstring& folder);
    bool Ready() const { return m_ready; }
    // The log's text, empty when there is no file or no byte-order mark.
    std::wstring Text() const;

private:
    ScopedRegistryKey m_options;
    std::wstring m_file;
    bool m_ready;
};

// A product key (HKLM\SOFTWARE\Halvex\<silo>) whose debug options log to
// folder; both go with the object.
struct LoggingProduct {
    LoggingProduct(const wchar_t* silo, const std::wstring& folder)
        : key(HKEY_LOCAL_MACHINE, std::wstring(L"SOFTWARE\\Halvex\\") + silo),
          log(key.path(), folder) {}
    ScopedRegistryKey key;
    ProductDebugLog log;
};

// One job started on a plug-in object and left to run while the test acts;
// the object is cancelled and released when this goes.
class StartedJob {
public:
    StartedJob(pxLib::ComPtr<qvd::IQVDPlugin> plugin, const std::wstring& job);
    ~StartedJob();
    StartedJob(const StartedJob&) = delete;
    StartedJob& operator=(const StartedJob&) = delete;

    bool Started() const { return m_started; }
    // True once the sink has seen ReportStatus(status), within timeoutMs.
    bool WaitForStatus(int32_t status, DWORD timeoutMs = 60000) const;
    int32_t State() const;
    // Polls until the state leaves 2 (bounded); returns the state.
    int32_t WaitForEnd() const;
    // CancelAndWait, made on another thread so that a join that hangs fails
    // the test instead; true when it returned within timeoutMs.
    bool CancelWithin(DWORD timeoutMs) const;
    uint32_t ExitCode() const;
    std::vector<SinkCall> Calls() const { return m_sink.Calls(); }

private:
    pxLib::ComPtr<qvd::IQVDPlugin> m_plugin;
    RecordingSink m_sink;
    bool m_started = false;
};

// Polls GetState until it leaves 2 (or the time is up); returns the state.
int32_t WaitForFinalState(qvd::IQVDPlugin* plugin, DWORD timeoutMs = 60000);
inline int32_t WaitForFinalState(const pxLib::ComPtr<qvd::IQVDPlugin>& plugin,
                                 DWORD timeoutMs = 60000) {
    return WaitForFinalState(plugin.get(), timeoutMs);
}

}  // namespace qvdtest
