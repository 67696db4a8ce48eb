// The product's entry in HKLM\...\RunOnce (named by the process's run key),
// as an installer that asks for a restart leaves it: set by the test or by
// the fake installer, and removed when the object goes, so that no later
// Wine start runs it.
#pragma once

#include <windows.h>

#include <string>

namespace qvdtest {

class RunOnceEntry {
public:
    RunOnceEntry();
    ~RunOnceEntry();
    RunOnceEntry(const RunOnceEntry&) = delete;
    RunOnceEntry& operator=(const RunOnceEntry&) = delete;

    bool Set(const std::wstring& commandLine) const;
    void Remove() const;
    // The fake installer's behaviour line that writes commandLine as the entry.
    std::string WrittenByInstaller(const std::wstring& commandLine) const;
};

}  // namespace qvdtest
