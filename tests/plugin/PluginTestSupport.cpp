#include "PluginTestSupport.h"

#include "support/system/UniqueHandle.h"

#include <json/json.h>

#include <memory>
#include <sstream>

namespace qvdtest {
namespace {

// How long a cancelled job may take to end before the test gives up on it.
constexpr DWORD kJoinTimeoutMs = 60000;

}  // namespace

SinkCall ErrorCall(uint32_t code, unsigned line) {
    return {true, static_cast<int32_t>(code),
            L"qvd::plugin::QVDPluginImpl::run(" + std::to_wstring(line) + L")"};
}

SinkCall StatusCall(int32_t status) {
    return {false, status, L""};
}

void PrintTo(const SinkCall& call, std::ostream* out) {
    *out << Describe({call});
}

std::string Describe(const std::vector<SinkCall>& calls) {
    std::ostringstream out;
    for (const auto& c : calls) {
        if (c.isError) {
            out << "ReportError(0x" << std::hex << static_cast<uint32_t>(c.value) << std::dec
                << ", " << Narrow(c.location) << ") ";
        } else {
            out << "ReportStatus(" << c.value << ") ";
        }
    }
    return out.str();
}

void RecordingSink::ReportError(int32_t code, const wchar_t* location) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_calls.push_back({true, code, location ? location : L"(null)"});
}

void RecordingSink::ReportStatus(int32_t status) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_calls.push_back({false, status, L""});
}

std::vector<SinkCall> RecordingSink::Calls() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_calls;
}

LoadedPlugin::LoadedPlugin() {
    m_module = LoadLibraryW(PluginDllPath().c_str());
    if (!m_module) return;
    auto get = [this](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(m_module, name));
    };
    GetFactory = reinterpret_cast<PFN_QVDGetFactory>(get("GetFactory"));
    GetObjectCount = reinterpret_cast<PFN_QVDGetObjectCount>(get("GetObjectCount"));
    DllGetClassObject =
        reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(get("DllGetClassObject"));
    DllCanUnloadNow = reinterpret_cast<HRESULT(WINAPI*)()>(get("DllCanUnloadNow"));
}

// Left loaded: detached workers may still be returning through the DLL's code.
LoadedPlugin::~LoadedPlugin() = default;

pxLib::ComPtr<qvd::IQVDPlugin> LoadedPlugin::CreatePlugin() {
    pxLib::ComPtr<qvd::IPluginFactory> factory;
    if (!GetFactory || GetFactory(&qvd::FACTORYID_QVDPlugin, factory.put_void()) < 0) return {};
    pxLib::ComPtr<qvd::IQVDPlugin> plugin;
    if (factory->CreateInstance(qvd::IID_IQVDPlugin2, plugin.put_void()) < 0) return {};
    return plugin;
}

std::string JsonString(const std::wstring& text) {
    return Json::valueToQuotedString(Narrow(text).c_str());
}

std::wstring JobFor(const std::wstring& installerPath, const std::string& extraMembers) {
    std::string job = "{\"file_array\": [{\"type\": \"job_installer\", \"destination_file\": " +
                      JsonString(installerPath) + "}]";
    if (!extraMembers.empty()) job += ", " + extraMembers;
    job += "}";
    return Widen(job);
}

ProductDebugLog::ProductDebugLog(const std::wstring& productKey, const std::wstring& folder)
    : m_options(HKEY_LOCAL_MACHINE, productKey + L"\\Plexor\\Debug\\DebugOutput"),
      m_file(folder + L"\\QVDPlugin.log"),
      m_ready(m_options.SetDword(L"DebugType", 1) && m_options.SetDword(L"OutputToFile", 1) &&
              m_options.SetDword(L"OutputToDebugger", 0) &&
              m_options.SetDword(L"AppendProcessIdToFile", 0) &&
              m_options.SetString(L"Directory", folder)) {}

std::wstring ProductDebugLog::Text() const {
    const std::string bytes = ReadFileUtf8(m_file);
    if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return {};
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
}

StartedJob::StartedJob(pxLib::ComPtr<qvd::IQVDPlugin> plugin, const std::wstring& job)
    : m_plugin(std::move(plugin)) {
    m_started = m_plugin && m_plugin->Start(job.c_str(), &m_sink) == S_OK;
}

StartedJob::~StartedJob() {
    if (m_plugin) CancelWithin(kJoinTimeoutMs);
}

bool StartedJob::WaitForStatus(int32_t status, DWORD timeoutMs) const {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        for (const SinkCall& call : m_sink.Calls())
            if (!call.isError && call.value == status) return true;
        if (GetTickCount64() > end) return false;
        Sleep(10);
    }
}

int32_t StartedJob::State() const {
    // No object, or a state it does not give: 0.
    int32_t state = 0;
    if (m_plugin && m_plugin->GetState(&state) != S_OK) return 0;
    return state;
}

int32_t StartedJob::WaitForEnd() const {
    return m_plugin ? WaitForFinalState(m_plugin) : 0;
}

bool StartedJob::CancelWithin(DWORD timeoutMs) const {
    if (!m_plugin) return false;
    // The thread holds its own reference, so a join that never returns cannot
    // leave it with a released object.
    struct Call {
        pxLib::ComPtr<qvd::IQVDPlugin> plugin;
    };
    auto* call = new Call{m_plugin};
    const pxLib::UniqueHandle thread(CreateThread(
        nullptr, 0,
        [](void* parameter) -> DWORD {
            std::unique_ptr<Call> owned(static_cast<Call*>(parameter));
            return static_cast<DWORD>(owned->plugin->CancelAndWait());
        },
        call, 0, nullptr));
    if (!thread) {
        delete call;
        return false;
    }
    return WaitForSingleObject(thread.get(), timeoutMs) == WAIT_OBJECT_0;
}

uint32_t StartedJob::ExitCode() const {
    return m_plugin ? m_plugin->GetExitCode() : 0;
}

int32_t WaitForFinalState(qvd::IQVDPlugin* plugin, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    int32_t state = qvd::QVD_STATE_RUNNING;
    for (;;) {
        if (plugin->GetState(&state) != S_OK || state != qvd::QVD_STATE_RUNNING ||
            GetTickCount64() > end)
            return state;
        Sleep(10);
    }
}

}  // namespace qvdtest
