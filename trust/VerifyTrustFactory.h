// The module's trust verifier factory slot. Module start-up registers the
// in-process factory once per process; every prelaunch verification creates
// its verifier through whatever the slot holds.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace pxLib {

// A verifier judges one file that the caller holds open.
class IInstallerVerifier {
public:
    virtual ~IInstallerVerifier() = default;
    // S_OK exactly when the file's Authenticode signature is trusted.
    virtual HRESULT VerifyFile(const std::wstring& path, HANDLE heldFile) = 0;
};

using VerifyTrustFactoryFn = HRESULT (*)(std::unique_ptr<IInstallerVerifier>& verifier);

// The in-process factory: a verifier over the platform's trust provider.
HRESULT StaticVerifyTrustFactory(std::unique_ptr<IInstallerVerifier>& verifier);

// Once per process; later calls change nothing. The registration result starts
// as E_UNEXPECTED and becomes S_OK when a factory was stored, E_INVALIDARG
// when there was none to store.
void RegisterVerifyTrustFactoryOnce(VerifyTrustFactoryFn factory);
HRESULT VerifyTrustFactoryRegistrationResult();

// A verifier from the registered factory; 0x80047E05 when there is none.
HRESULT GetTrustVerifier(std::unique_ptr<IInstallerVerifier>& verifier);

}  // namespace pxLib
