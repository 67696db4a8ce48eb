// A test's child program run with a result file: scenarios that need a fresh
// process (settings kept once per process) report one line per step there,
// and named events let the test change things between the child's steps.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "support/system/UniqueHandle.h"

namespace qvdtest {

// A child's exit code, or STILL_ACTIVE (after ending it) when it did not end
// within a minute.
DWORD WaitForChild(HANDLE process);

class NamedEvent {
public:
    explicit NamedEvent(const wchar_t* role);
    const std::wstring& name() const { return m_name; }
    bool Wait() const;  // up to a minute
    void Set() const;

private:
    std::wstring m_name;
    pxLib::UniqueHandle m_event;
};

// Starts program (a Unix path of the build) as
//   program "<result file>" "<settings>" "<step>"...
class ChildRun {
public:
    ChildRun(const char* program, const std::wstring& settings,
             const std::vector<std::wstring>& steps);
    // The exit code, or STILL_ACTIVE when the child did not end within a minute.
    DWORD Wait() const;
    std::vector<std::string> Lines() const;  // the result file, line by line

private:
    TempDir m_dir;
    std::wstring m_results;
    pxLib::UniqueHandle m_process;
};

}  // namespace qvdtest
