// The Windows version the code under test sees, for the length of a scope;
// everything else the platform answers stays real.
#pragma once

#include "support/system/Platform.h"

namespace qvdtest {

class ScopedOsVersion : public pxLib::IPlatform {
public:
    ScopedOsVersion(DWORD major, DWORD minor) : m_previous(pxLib::SetPlatformForTesting(this)) {
        m_version.major = major;
        m_version.minor = minor;
    }
    ~ScopedOsVersion() override { pxLib::SetPlatformForTesting(m_previous); }
    ScopedOsVersion(const ScopedOsVersion&) = delete;
    ScopedOsVersion& operator=(const ScopedOsVersion&) = delete;

    pxLib::OsVersion Version() override { return m_version; }
    bool IsLocalSystem() override { return pxLib::RealIsLocalSystem(); }
    BOOL ExecuteWithShell(SHELLEXECUTEINFOW* info) override { return ShellExecuteExW(info); }

private:
    pxLib::OsVersion m_version = pxLib::RealOsVersion();
    pxLib::IPlatform* m_previous;
};

}  // namespace qvdtest
