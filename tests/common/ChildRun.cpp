#include "ChildRun.h"

#include <gtest/gtest.h>

#include <sstream>

namespace qvdtest {
namespace {

constexpr DWORD kChildTimeoutMs = 60000;

std::wstring UniqueEventName(const wchar_t* role) {
    static LONG counter = 0;
    return L"Local\\qvdtest-child-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(InterlockedIncrement(&counter)) + L"-" + role;
}

}  // namespace

DWORD WaitForChild(HANDLE process) {
    if (WaitForSingleObject(process, kChildTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process, 99);
        return STILL_ACTIVE;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

NamedEvent::NamedEvent(const wchar_t* role)
    : m_name(UniqueEventName(role)), m_event(CreateEventW(nullptr, TRUE, FALSE, m_name.c_str())) {}

bool NamedEvent::Wait() const {
    return WaitForSingleObject(m_event.get(), kChildTimeoutMs) == WAIT_OBJECT_0;
}

void NamedEvent::Set() const {
    SetEvent(m_event.get());
}

ChildRun::ChildRun(const char* program, const std::wstring& settings,
                   const std::vector<std::wstring>& steps)
    : m_results(m_dir.file(L"results.txt")) {
    std::wstring commandLine =
        L"\"" + WinePath(program) + L"\" \"" + m_results + L"\" \"" + settings + L"\"";
    for (const std::wstring& step : steps) commandLine += L" \"" + step + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    EXPECT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info))
        << GetLastError();
    m_process.reset(info.hProcess);
    const pxLib::UniqueHandle thread(info.hThread);
}

DWORD ChildRun::Wait() const {
    return m_process ? WaitForChild(m_process.get()) : STILL_ACTIVE;
}

std::vector<std::string> ChildRun::Lines() const {
    std::vector<std::string> lines;
    std::istringstream text(ReadFileUtf8(m_results));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

}  // namespace qvdtest
