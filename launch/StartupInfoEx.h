// Extended start-up information that puts the process-mitigation policy on
// every process the plug-in creates.
#pragma once

#include "support/system/AttributeList.h"

#include <windows.h>

#include <cstdint>

namespace qvd::launch {

constexpr uint64_t kMitigationDep = 0x1;                    // DEP_ENABLE
constexpr uint64_t kMitigationWindows8Extra = 0x101001000;  // heap terminate, strict handles,
                                                            // no extension points

// Owns the attribute list: it is deleted when the start-up information goes,
// on every way out of a launch.
class StartupInfoEx {
public:
    StartupInfoEx() = default;
    StartupInfoEx(const StartupInfoEx&) = delete;
    StartupInfoEx& operator=(const StartupInfoEx&) = delete;

    // S_OK with no list on systems that do not take the attribute
    // (workstations before 6.1, servers before 6.0, 6.0-6.1 servers that are
    // not exactly 6.1).
    [[nodiscard]] HRESULT SetUp();

    STARTUPINFOW& StartupInfo() { return m_info.StartupInfo; }
    const STARTUPINFOEXW& Info() const { return m_info; }
    // Whether the process is created with EXTENDED_STARTUPINFO_PRESENT.
    bool InUse() const { return m_inUse; }
    DWORD CreationFlag() const { return m_inUse ? EXTENDED_STARTUPINFO_PRESENT : 0; }
    const pxLib::AttributeList& AttributeList() const { return m_list; }
    uint64_t MitigationPolicy() const { return m_mitigationPolicy; }
    // Bytes passed: 8, or 4 before Windows 8.
    size_t MitigationPolicySize() const { return m_mitigationPolicySize; }

    // Deletes the list and frees its buffer; going does it too.
    void reset();

private:
    pxLib::AttributeList m_list;
    STARTUPINFOEXW m_info{};
    bool m_inUse = false;
    uint64_t m_mitigationPolicy = 0;
    size_t m_mitigationPolicySize = 0;
};

}  // namespace qvd::launch
