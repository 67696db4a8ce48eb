#include "job/VersionCompare.h"

#include <array>
#include <cstdint>

namespace qvd::job {
namespace {

// Each part is read like atoi: its leading decimal digits, saturating.
std::array<uint64_t, 4> SplitVersion(std::u16string_view text) {
    std::array<uint64_t, 4> parts{};
    size_t part = 0;
    size_t i = 0;
    while (part < parts.size() && i <= text.size()) {
        uint64_t value = 0;
        bool digits = true;
        for (; i < text.size() && text[i] != u'.'; ++i) {
            if (digits && text[i] >= u'0' && text[i] <= u'9') {
                value = value >= (UINT64_MAX - 9) / 10 ? UINT64_MAX : value * 10 + (text[i] - u'0');
            } else {
                digits = false;
            }
        }
        parts[part++] = value;
        ++i;  // past the dot
    }
    return parts;
}

}  // namespace

VersionOrder CompareInstalledVersion(std::u16string_view wanted, std::u16string_view installed) {
    const auto w = SplitVersion(wanted);
    const auto have = SplitVersion(installed);
    for (size_t i = 0; i < w.size(); ++i) {
        if (w[i] > have[i]) return VersionOrder::Older;
        if (w[i] < have[i]) return VersionOrder::Newer;
    }
    return VersionOrder::Same;
}

}  // namespace qvd::job
