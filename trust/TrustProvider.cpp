#include "trust/TrustProvider.h"

#include <atomic>

namespace pxLib {
namespace {

class WinTrustProvider final : public ITrustProvider {
public:
    LONG VerifyTrust(HWND window, GUID& action, WINTRUST_DATA& data) override {
        return WinVerifyTrust(window, &action, &data);
    }
    bool PolicyFlags(DWORD& flags) override {
        using GetPolicyFlagsFn = void(WINAPI*)(DWORD*);
        const auto get = reinterpret_cast<GetPolicyFlagsFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"wintrust.dll"), "WintrustGetRegPolicyFlags")));
        if (!get) return false;
        flags = 0;
        get(&flags);
        return true;
    }
};

WinTrustProvider g_platformProvider;
std::atomic<ITrustProvider*> g_provider{&g_platformProvider};

}  // namespace

ITrustProvider& TrustProvider() {
    return *g_provider.load();
}

ITrustProvider* SetTrustProviderForTesting(ITrustProvider* provider) {
    return g_provider.exchange(provider ? provider : &g_platformProvider);
}

ITrustProvider& PlatformTrustProvider() {
    return g_platformProvider;
}

}  // namespace pxLib
