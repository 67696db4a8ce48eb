#include "collections/factory/ObjectModel.h"

namespace pxLib {

std::u16string GuidToText(const Guid& guid) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text;
    text.reserve(38);
    auto hex = [&](uint64_t value, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
            text.push_back(kDigits[(value >> shift) & 0xF]);
    };
    text.push_back(u'{');
    hex(guid.data1, 8);
    text.push_back(u'-');
    hex(guid.data2, 4);
    text.push_back(u'-');
    hex(guid.data3, 4);
    text.push_back(u'-');
    for (int i = 0; i < 8; ++i) {
        if (i == 2) text.push_back(u'-');
        hex(guid.data4[i], 2);
    }
    text.push_back(u'}');
    return text;
}

}  // namespace pxLib
