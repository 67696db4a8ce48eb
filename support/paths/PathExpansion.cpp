#include "support/paths/PathExpansion.h"

#include "support/errors/GuardedCall.h"
#include "support/logging/Trace.h"
#include "support/paths/BuiltInFolderPaths.h"
#include "support/paths/PathExpansionMap.h"
#include "support/paths/PathTokens.h"
#include "support/text/Utf.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xffc7311b, 0x4e33, 0x4c1a, {0x85, 0x07, 0xd5, 0xc8, 0x49, 0xca, 0x86, 0xcb}}};
enum class TraceEvent : uint16_t {
    NullInput = 1,
};

// The product's map first, so that it can move any built-in folder.
bool ResolvePathName(const std::u16string& name, std::u16string& value) {
    return LookUpPathExpansionMap(name, value) || ResolveBuiltInFolder(name, value);
}

}  // namespace

bool ExpandPath(const std::u16string& input, std::u16string& output) {
    // Without the map nothing expands, not even the built-in names.
    if (!OpenPathExpansionMap()) return false;
    return GuardedAllocation(u"pxPathExpansion", __LINE__, false, [&] {
        std::u16string expanded;
        const bool ok = ExpandPathTokens(input, ResolvePathName, expanded);
        output = std::move(expanded);
        return ok;
    });
}

bool ExpandPath(const wchar_t* input, std::wstring& output) {
    if (input == nullptr) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NullInput);
        return false;
    }
    return GuardedAllocation(u"pxPathExpansion", __LINE__, false, [&] {
        std::u16string expanded = ToU16(output);
        const bool ok = ExpandPath(ToU16(input), expanded);
        output = ToWide(expanded);
        return ok;
    });
}

}  // namespace pxLib
