#include "support/isolation/IsolationSettings.h"

namespace pxLib {
namespace {

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

}  // namespace

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
bool IsValidSiloGuid(const std::u16string& silo) {
    if (silo.size() != 38 || silo.front() != u'{' || silo.back() != u'}') return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? silo[i] != u'-' : !IsHexDigit(silo[i])) return false;
    }
    return true;
}

}  // namespace pxLib
