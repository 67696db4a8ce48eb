// An installer that someone else started before the job: a copy of the fake
// installer placed at a path of the test's choosing, started by the test
// (through that path or another spelling of it) and running until the test
// releases it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/system/UniqueHandle.h"

namespace qvdtest {

class RunningInstaller {
public:
    // Copies the fake installer to path with the given behaviour lines (exit
    // code, files to write, ...), starts it as startAs (path when empty) and
    // waits until it runs.
    RunningInstaller(const std::wstring& path, std::vector<std::string> behaviour,
                     const std::wstring& startAs = L"");
    // Releases it and waits for its end.
    ~RunningInstaller();
    RunningInstaller(const RunningInstaller&) = delete;
    RunningInstaller& operator=(const RunningInstaller&) = delete;

    bool Started() const { return m_started; }
    bool Running() const;
    // Lets it end; it writes its files and exits with its exit code.
    void Release() const;
    // Releases it and returns its exit code (STILL_ACTIVE when it did not end in time).
    DWORD End() const;

private:
    std::wstring m_release;
    pxLib::UniqueHandle m_process;
    bool m_started = false;
};

}  // namespace qvdtest
