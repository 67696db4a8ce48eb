#include "RunningInstaller.h"

#include "ChildRun.h"
#include "TestSupport.h"

namespace qvdtest {
namespace {

// How long a started copy may take to show itself under a loaded Wine.
constexpr DWORD kStartTimeoutMs = 60000;

}  // namespace

RunningInstaller::RunningInstaller(const std::wstring& path, std::vector<std::string> behaviour,
                                   const std::wstring& startAs)
    : m_release(path + L".release") {
    const std::wstring started = path + L".started";
    DeleteFileW(started.c_str());
    DeleteFileW(m_release.c_str());
    behaviour.push_back("started_marker=" + Narrow(started));
    behaviour.push_back("wait_for_file=" + Narrow(m_release));
    std::string text;
    for (const std::string& line : behaviour) text += line + "\n";
    if (!CopyFixture(WinePath(QVD_TEST_FAKE_INSTALLER), path) ||
        !WriteFileUtf8(path + L".behaviour", text))
        return;
    const std::wstring program = startAs.empty() ? path : startAs;
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    pxLib::ProcessInformation info;
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, info.put()))
        return;
    m_process = info.TakeProcess();
    m_started = WaitForFile(started, kStartTimeoutMs);
}

RunningInstaller::~RunningInstaller() {
    End();
}

bool RunningInstaller::Running() const {
    return m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT;
}

void RunningInstaller::Release() const {
    WriteFileUtf8(m_release, "go");
}

DWORD RunningInstaller::End() const {
    Release();
    return m_process ? WaitForChild(m_process.get()) : STILL_ACTIVE;
}

}  // namespace qvdtest
