// Extended start-up information that puts the process-mitigation policy on
// every process the plug-in creates.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace qvd::launch {

constexpr uint64_t kMitigationDep = 0x1;                    // DEP_ENABLE
constexpr uint64_t kMitigationWindows8Extra = 0x101001000;  // heap terminate, strict handles,
                                                            // no extension points

// Owns the attribute list: it is deleted when the start-up information goes,
// on every way out of a launch.
struct StartupInfoEx {
    StartupInfoEx() = default;
    ~StartupInfoEx();
    StartupInfoEx(const StartupInfoEx&) = delete;
    StartupInfoEx& operator=(const StartupInfoEx&) = delete;

    std::vector<BYTE> attributeList;
    STARTUPINFOEXW info{};
    bool inUse = false;        // create the process with EXTENDED_STARTUPINFO_PRESENT
    bool initialised = false;  // the list must be deleted
    uint64_t mitigationPolicy = 0;
    size_t mitigationPolicySize = 0;  // bytes passed: 8, or 4 before Windows 8
};

// S_OK with no list on systems that do not take the attribute (workstations
// before 6.1, servers before 6.0, 6.0-6.1 servers that are not exactly 6.1).
HRESULT SetUpStartupInfoEx(StartupInfoEx& startup);
// Deletes the list and frees its buffer; the destructor does it too.
void ReleaseStartupInfoEx(StartupInfoEx& startup);

}  // namespace qvd::launch
