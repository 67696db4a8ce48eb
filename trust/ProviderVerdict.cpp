#include "trust/ProviderVerdict.h"

namespace pxLib {
namespace {

enum class VerdictBit : uint32_t {
    SignedAny = 0x01,
    SignedCode = 0x06,  // either of two bits
    SignedByMaker = 0x08,
    SignedByPlatform = 0x10,
    SystemComponent = 0x20,
    DriverSigned = 0x40,
    DoNotUse = 0x40000,
};

bool Has(uint32_t flags, VerdictBit bits) {
    return (flags & static_cast<uint32_t>(bits)) != 0;
}

}  // namespace

ProviderVerdict ReadProviderVerdict(uint32_t flags, TrustLevel level, bool driverPolicy) {
    ProviderVerdict result;
    result.systemComponent = Has(flags, VerdictBit::SystemComponent);
    bool trusted = false;
    switch (level) {
        case TrustLevel::SignedByPlatform:
            trusted = Has(flags, VerdictBit::SignedByPlatform) &&
                      !(driverPolicy && !Has(flags, VerdictBit::DriverSigned));
            break;
        case TrustLevel::SignedByMaker:
            trusted = Has(flags, VerdictBit::SignedByMaker);
            break;
        case TrustLevel::SignedCode:
            trusted = Has(flags, VerdictBit::SignedCode);
            break;
        default:
            trusted = Has(flags, VerdictBit::SignedAny);
            break;
    }
    result.verdict = trusted ? ValidationError::VT_TRUSTED : ValidationError::VT_NOT_TRUSTED;
    result.usable = !Has(flags, VerdictBit::DoNotUse);
    return result;
}

}  // namespace pxLib
