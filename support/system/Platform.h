// The few facts about the machine that Wine cannot show for real (the
// LocalSystem account, an old Windows version). Code asks Platform(); tests
// may put a fake in its place.
#pragma once

#include <windows.h>
#include <shellapi.h>

namespace pxLib {

struct OsVersion {
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
    bool workstation = true;

    [[nodiscard]] bool AtLeast(DWORD wantMajor, DWORD wantMinor) const {
        return major > wantMajor || (major == wantMajor && minor >= wantMinor);
    }
};

class IPlatform {
public:
    virtual ~IPlatform() = default;
    // The real version (RtlGetVersion), not the compatibility answer of GetVersionEx.
    virtual OsVersion Version() = 0;
    // True when the calling thread's token (or else the process token) is LocalSystem.
    [[nodiscard]] virtual bool IsLocalSystem() = 0;
    // ShellExecuteExW: the only way to see a user decline the elevation prompt.
    virtual BOOL ExecuteWithShell(SHELLEXECUTEINFOW* info) = 0;
};

IPlatform& Platform();

// For tests: replaces the platform until the returned previous one is put back.
IPlatform* SetPlatformForTesting(IPlatform* platform);

// The Win32 answers, for fakes that change only one of them.
OsVersion RealOsVersion();
[[nodiscard]] bool RealIsLocalSystem();

}  // namespace pxLib
