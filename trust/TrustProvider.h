// The one seam of the verifier: the platform's trust provider. Wine answers
// WinVerifyTrust for real for good, tampered and unsigned files, but never
// with a time-stamp, revocation or security-settings failure, and it has no
// machine trust policy; tests put a fake here for those. The default calls
// WinVerifyTrust and WintrustGetRegPolicyFlags.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

namespace pxLib {

class ITrustProvider {
public:
    virtual ~ITrustProvider() = default;
    virtual LONG VerifyTrust(HWND window, GUID& action, WINTRUST_DATA& data) = 0;
    // The machine's trust policy flags; false when the platform has no
    // WintrustGetRegPolicyFlags.
    [[nodiscard]] virtual bool PolicyFlags(DWORD& flags) = 0;
};

ITrustProvider& TrustProvider();
// For tests: installs provider (nullptr: the platform's) and returns the one before.
ITrustProvider* SetTrustProviderForTesting(ITrustProvider* provider);
// The platform's own, for fakes that pass calls through.
ITrustProvider& PlatformTrustProvider();

}  // namespace pxLib
