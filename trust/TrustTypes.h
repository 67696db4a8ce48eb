// What a caller demands of a file's signer (TrustLevel) and what every
// verification answers (ValidationError). Both cross module boundaries as
// unsigned 32-bit values.
#pragma once

#include <cstdint>

namespace pxLib {

enum class TrustLevel : uint32_t {
    SignedAny = 1,             // any valid signature usable for code signing
    SignedCode = 2,            // the same checks; ranks above 1 in the cache
    SignedByMaker = 3,         // ... and the signer is one of the maker's identities
    SignedByPlatform = 4,      // ... and the signer is the platform vendor
    SignedByAltPublisher = 5,  // ... and the signer is the alternate publisher
};

enum class ValidationError : uint32_t {
    VT_TRUSTED = 1,
    VT_ERROR = 2,                // the subject could not be evaluated
    VT_NOT_TRUSTED = 3,          // a signature exists but fails, or none does
    VT_NO_SIGNATURE_INFO = 4,    // no usable signature information
    VT_INVALID_ARG = 5,          // empty path, level 0, null pointer
    VT_INTERNAL_ERROR = 6,       // an allocation or string failure inside the verifier
    VT_REVOCATION_UNKNOWN = 15,  // the revocation status could not be determined
    VT_TIMESTAMP_INVALID = 20,   // the signature's time stamp is invalid
};

// Whether revocation of the whole chain is checked.
enum class TrustMode : uint32_t { NoRevocationCheck = 1, RevocationCheck = 2 };

// Level 0 is not a level.
[[nodiscard]] inline bool IsValidLevel(TrustLevel level) {
    return static_cast<uint32_t>(level) != 0;
}

// Levels 3, 4 and 5 each name one publisher; the three exclude each other.
[[nodiscard]] inline bool NamesPublisher(TrustLevel level) {
    return level == TrustLevel::SignedByMaker || level == TrustLevel::SignedByPlatform ||
           level == TrustLevel::SignedByAltPublisher;
}

inline uint32_t ToUInt(TrustLevel level) {
    return static_cast<uint32_t>(level);
}
inline uint32_t ToUInt(ValidationError result) {
    return static_cast<uint32_t>(result);
}

}  // namespace pxLib
