// Where verifiers come from. Module start-up stores the in-process factory in
// the module's factory slot once; without one, verifiers come from the process
// object factory (which loads a verifier module through the object repository).
#pragma once

#include "trust/VerifyTrustInterfaces.h"

#include <windows.h>

namespace pxLib {

// The failure of the in-process factory.
constexpr HRESULT kNoVerifier = static_cast<HRESULT>(0x80047E05u);
// A verifier from the object factory that could not be set up (TRUST_E_SYSTEM_ERROR).
constexpr HRESULT kVerifierNotCreated = static_cast<HRESULT>(0x80096001u);

using VerifyTrustFactoryFn = HRESULT (*)(RefPtr<IVerifyTrust>& verifier);

// A new CVerifyTrust as the plug-in uses it: enabled, no cache, no verdict
// provider, no revocation check, no policy.
[[nodiscard]] HRESULT StaticVerifyTrustFactory(RefPtr<IVerifyTrust>& verifier);

// Once per process: stores the factory (module start-up installs the module
// trust hook beside it); later calls change nothing. The registration result
// starts as E_UNEXPECTED and becomes S_OK when a factory was stored,
// E_INVALIDARG when there was none to store.
void RegisterVerifyTrustFactoryOnce(VerifyTrustFactoryFn factory);
[[nodiscard]] HRESULT VerifyTrustFactoryRegistrationResult();

// A verifier from the registered factory (its result, no fallback), else from
// the process object factory, set up with Create(true).
[[nodiscard]] HRESULT GetTrustVerifier(RefPtr<IVerifyTrust>& verifier);

}  // namespace pxLib
