#include "launch/UacSetting.h"

#include "support/registry/RegistryKey.h"

namespace qvd::launch {
namespace {

const wchar_t kPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr DWORD kUacOn = 1;

}  // namespace

bool IsUacEnabled() {
    pxLib::RegistryKey policy;
    DWORD value = 0;
    return policy.Open(HKEY_LOCAL_MACHINE, kPolicyKey, KEY_READ) &&
           policy.QueryDWORD(L"EnableLUA", value) && value == kUacOn;
}

}  // namespace qvd::launch
