#include "support/system/Platform.h"

#include "support/system/UniqueHandle.h"

#include <atomic>
#include <vector>

namespace pxLib {
namespace {

class Win32Platform : public IPlatform {
public:
    OsVersion Version() override { return RealOsVersion(); }
    bool IsLocalSystem() override { return RealIsLocalSystem(); }
    BOOL ExecuteWithShell(SHELLEXECUTEINFOW* info) override { return ShellExecuteExW(info); }
};

Win32Platform g_win32Platform;
std::atomic<IPlatform*> g_platform{&g_win32Platform};

}  // namespace

IPlatform& Platform() {
    return *g_platform.load();
}

IPlatform* SetPlatformForTesting(IPlatform* platform) {
    return g_platform.exchange(platform ? platform : &g_win32Platform);
}

OsVersion RealOsVersion() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    OsVersion v;
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (rtlGetVersion && rtlGetVersion(&info) == 0) {
        v.major = info.dwMajorVersion;
        v.minor = info.dwMinorVersion;
        v.build = info.dwBuildNumber;
        v.workstation = info.wProductType == VER_NT_WORKSTATION;
    }
    return v;
}

bool RealIsLocalSystem() {
    UniqueHandle token;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
        return false;
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return false;
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    BYTE systemSid[SECURITY_MAX_SID_SIZE];
    if (!InitializeSid(systemSid, &nt, 1)) return false;
    *GetSidSubAuthority(systemSid, 0) = SECURITY_LOCAL_SYSTEM_RID;
    return EqualSid(user->User.Sid, systemSid) != FALSE;
}

}  // namespace pxLib
