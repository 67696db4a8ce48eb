// The plain launcher: the installer as a child of the host process, with the
// mitigation policy; used when the host asks for the system context.
#pragma once

#include "support/system/UniqueHandle.h"

#include <windows.h>

#include <string>

namespace qvd::launch {

class ProcessLauncher {
public:
    ProcessLauncher() = default;
    virtual ~ProcessLauncher();
    ProcessLauncher(const ProcessLauncher&) = delete;
    ProcessLauncher& operator=(const ProcessLauncher&) = delete;

    // Raises std::runtime_error("GetExitCodeProcess() failed") when it cannot be read.
    virtual uint32_t ExitCode() const;
    virtual DWORD ProcessId() const { return m_processInfo.processId(); }
    // E_INVALIDARG for an empty command line; the start-up information's or
    // CreateProcessW's failure as an HRESULT.
    [[nodiscard]] virtual HRESULT Launch(const std::wstring& commandLine, bool visible);
    [[nodiscard]] virtual HRESULT Launch(const std::wstring& commandLine) {
        return Launch(commandLine, true);
    }
    virtual DWORD Wait(DWORD timeoutMs) const;
    virtual HANDLE ProcessHandle() const { return m_processInfo.process(); }

    // Hands the started process over to whoever waits for it.
    pxLib::UniqueHandle TakeProcess() { return m_processInfo.TakeProcess(); }

private:
    pxLib::ProcessInformation m_processInfo;
};

}  // namespace qvd::launch
