// The platform trust provider's result (WinVerifyTrust) as a ValidationError.
#pragma once

#include "trust/TrustTypes.h"

#include <cstdint>
#include <functional>

namespace pxLib {

constexpr int32_t kTrustSecuritySettings =
    static_cast<int32_t>(0x80092026u);                                  // CRYPT_E_SECURITY_SETTINGS
constexpr int32_t kTrustTimeStamp = static_cast<int32_t>(0x80096005u);  // TRUST_E_TIME_STAMP
constexpr int32_t kTrustBadDigest = static_cast<int32_t>(0x80096010u);  // TRUST_E_BAD_DIGEST
constexpr int32_t kTrustProviderUnknown =
    static_cast<int32_t>(0x800B0001u);  // TRUST_E_PROVIDER_UNKNOWN
constexpr int32_t kTrustSubjectFormUnknown = static_cast<int32_t>(0x800B0003u);
constexpr int32_t kTrustSubjectNotTrusted = static_cast<int32_t>(0x800B0004u);
constexpr int32_t kTrustNoSignature = static_cast<int32_t>(0x800B0100u);  // TRUST_E_NOSIGNATURE
constexpr int32_t kTrustRevocationFailure =
    static_cast<int32_t>(0x800B010Eu);  // CERT_E_REVOCATION_FAILURE

// The machine's trust policy flag that forbids the check here.
constexpr uint32_t kPolicyAllowOnlyPerTrust = 0x40000;  // WTPF_ALLOWONLYPERTRUST

// Reads the machine's trust policy flags; false when the platform cannot.
using PolicyFlagsReader = std::function<bool(uint32_t& flags)>;

// First match wins; the policy flags are read only for CRYPT_E_SECURITY_SETTINGS.
[[nodiscard]] ValidationError MapTrustResult(int32_t result,
                                             const PolicyFlagsReader& readPolicyFlags);

}  // namespace pxLib
