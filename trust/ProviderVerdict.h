// What the verdict provider's "vtresult" value says about a file at a level.
#pragma once

#include "trust/TrustTypes.h"

#include <cstdint>

namespace pxLib {

struct ProviderVerdict {
    bool usable = false;  // false: the provider asks not to be believed
    ValidationError verdict = ValidationError::VT_NOT_TRUSTED;
    bool systemComponent = false;
};

ProviderVerdict ReadProviderVerdict(uint32_t flags, TrustLevel level, bool driverPolicy);

}  // namespace pxLib
