#include "trust/ProviderVerdict.h"

namespace pxLib {
namespace {

enum VerdictBit : uint32_t {
    kSignedAny = 0x01,
    kSignedCode = 0x06,  // either of two bits
    kSignedByMaker = 0x08,
    kSignedByPlatform = 0x10,
    kSystemComponent = 0x20,
    kDriverSigned = 0x40,
    kDoNotUse = 0x40000,
};

bool Has(uint32_t flags, uint32_t bits) {
    return (flags & bits) != 0;
}

}  // namespace

ProviderVerdict ReadProviderVerdict(uint32_t flags, TrustLevel level, bool driverPolicy) {
    ProviderVerdict result;
    result.systemComponent = Has(flags, kSystemComponent);
    bool trusted = false;
    switch (level) {
        case TrustLevel::SignedByPlatform:
            trusted =
                Has(flags, kSignedByPlatform) && !(driverPolicy && !Has(flags, kDriverSigned));
            break;
        case TrustLevel::SignedByMaker:
            trusted = Has(flags, kSignedByMaker);
            break;
        case TrustLevel::SignedCode:
            trusted = Has(flags, kSignedCode);
            break;
        default:
            trusted = Has(flags, kSignedAny);
            break;
    }
    result.verdict = trusted ? ValidationError::VT_TRUSTED : ValidationError::VT_NOT_TRUSTED;
    result.usable = !Has(flags, kDoNotUse);
    return result;
}

}  // namespace pxLib
