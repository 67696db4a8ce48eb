#include "launch/ProcessLauncher.h"

#include "launch/StartupInfoEx.h"
#include "support/errors/LastError.h"
#include "support/logging/Trace.h"

#include <stdexcept>
#include <vector>

namespace qvd::launch {
namespace {
const pxLib::TraceSource kTraceSource{
    {0xc80b5e47, 0x36a9, 0x4f1d, {0x8b, 0x72, 0x4a, 0x95, 0x0d, 0xe6, 0x21, 0x3f}}};
enum class TraceEvent : uint16_t { StartupInfoFailed = 1 };
}  // namespace

ProcessLauncher::~ProcessLauncher() = default;

uint32_t ProcessLauncher::ExitCode() const {
    DWORD code = 0;
    if (!GetExitCodeProcess(m_processInfo.process(), &code))
        throw std::runtime_error("GetExitCodeProcess() failed");
    return code;
}

HRESULT ProcessLauncher::Launch(const std::wstring& commandLine, bool visible) {
    if (commandLine.empty()) return E_INVALIDARG;
    m_processInfo.reset();
    StartupInfoEx startup;
    HRESULT hr = startup.SetUp();
    if (FAILED(hr)) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::StartupInfoFailed, hr);
        return hr;
    }
    if (!visible) {
        startup.StartupInfo().dwFlags |= STARTF_USESHOWWINDOW;
        startup.StartupInfo().wShowWindow = SW_HIDE;
    }
    // CreateProcessW may write into the command line.
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, startup.CreationFlag(),
                        nullptr, nullptr, &startup.StartupInfo(), m_processInfo.put()))
        return pxLib::HResultFromLastError();
    return S_OK;
}

DWORD ProcessLauncher::Wait(DWORD timeoutMs) const {
    return WaitForSingleObject(m_processInfo.process(), timeoutMs);
}

}  // namespace qvd::launch
