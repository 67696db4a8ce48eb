#include "trust/TrustPolicy.h"

#include "support/errors/GuardedCall.h"
#include "support/isolation/IsolationSettings.h"
#include "support/registry/RegistryKey.h"
#include "support/text/Utf.h"

#include <atomic>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x9A27D4F0, 0x1E63, 0x4C8B, {0xB5, 0x2A, 0x70, 0x9D, 0x3F, 0xE1, 0x06, 0xC4}}};
enum class TraceEvent : uint16_t { NoProductRoot = 1, WriteFailed };

constexpr wchar_t kPolicySubKey[] = L"\\Plexor\\pxVerifyTrust";
constexpr wchar_t kPolicyValue[] = L"AlternateTrustPolicy";

// Process-wide and unlocked: a race only repeats a registry read.
std::atomic<bool> g_policyAllows{true};

bool PolicyKeyPath(std::wstring& path) {
    const std::u16string root = IsolationSettings::ProductRegistryRoot();
    if (root.empty()) {
        Trace(kTraceSource, TraceLevel::Warning, TraceEvent::NoProductRoot);
        return false;
    }
    path = ToWide(root) + kPolicySubKey;
    return true;
}

}  // namespace

OBJRESULT VerifyTrustPolicy::QueryInterface(const Guid& iid, void** out) {
    if (out == nullptr) return OBJ_E_INVALIDARG;
    if (iid == IID_IRefObject || iid == IID_IVerifyTrustPolicy) {
        *out = static_cast<IVerifyTrustPolicy*>(this);
        AddRef();
        return OBJ_OK;
    }
    *out = nullptr;
    return OBJ_E_NOINTERFACE;
}

bool VerifyTrustPolicy::GetAlternateTrustPolicy() {
    return GuardedCall(u"pxVerifyTrustPolicy", __LINE__, true, [] {
        if (!g_policyAllows.load(std::memory_order_relaxed)) return false;
        std::wstring path;
        if (!PolicyKeyPath(path)) return true;
        RegistryKey key;
        DWORD value = 0;
        if (key.Open(HKEY_LOCAL_MACHINE, path.c_str(),
                     KEY_READ | IsolationSettings::RegistryView()) &&
            key.QueryDWORD(kPolicyValue, value)) {
            g_policyAllows.store(value != 0, std::memory_order_relaxed);
            return value != 0;
        }
        return true;
    });
}

bool VerifyTrustPolicy::SetAlternateTrustPolicy(bool value) {
    return GuardedCall(u"pxVerifyTrustPolicy", __LINE__, false, [value] {
        std::wstring path;
        if (!PolicyKeyPath(path)) return false;
        RegistryKey key;
        if (!key.Open(HKEY_LOCAL_MACHINE, path.c_str(),
                      KEY_WRITE | IsolationSettings::RegistryView(), true) ||
            !key.SetDWORD(kPolicyValue, value ? 1 : 0)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::WriteFailed,
                  static_cast<uint32_t>(key.LastError()));
            return false;
        }
        return true;
    });
}

}  // namespace pxLib
