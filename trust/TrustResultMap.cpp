#include "trust/TrustResultMap.h"

#include "support/logging/Trace.h"

namespace pxLib {
namespace {
const TraceSource kTraceSource{
    {0x0C4A7E19, 0xB2D6, 0x4F31, {0x86, 0x5E, 0x2B, 0x9C, 0x11, 0x74, 0xE8, 0x0A}}};
enum class TraceEvent : uint16_t { PolicyForbids = 1, RevocationUnknown };
}  // namespace

ValidationError MapTrustResult(int32_t result, const PolicyFlagsReader& readPolicyFlags) {
    if (result == 0) return ValidationError::VT_TRUSTED;
    if (result == kTrustSecuritySettings) {
        uint32_t flags = 0;
        if (!readPolicyFlags || !readPolicyFlags(flags)) return ValidationError::VT_NOT_TRUSTED;
        if (flags & kPolicyAllowOnlyPerTrust) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::PolicyForbids, flags);
            return ValidationError::VT_NO_SIGNATURE_INFO;
        }
        return ValidationError::VT_NOT_TRUSTED;
    }
    if (result == kTrustTimeStamp) return ValidationError::VT_TIMESTAMP_INVALID;
    if (result == kTrustBadDigest) return ValidationError::VT_NOT_TRUSTED;
    // Everything from 0x80000000 to 0x800B0000.
    if (result < kTrustProviderUnknown) return ValidationError::VT_NOT_TRUSTED;
    if (result <= kTrustSubjectFormUnknown) return ValidationError::VT_NO_SIGNATURE_INFO;
    if (result == kTrustSubjectNotTrusted || result == kTrustNoSignature)
        return ValidationError::VT_NOT_TRUSTED;
    if (result == kTrustRevocationFailure) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::RevocationUnknown);
        return ValidationError::VT_REVOCATION_UNKNOWN;
    }
    return ValidationError::VT_NOT_TRUSTED;
}

}  // namespace pxLib
