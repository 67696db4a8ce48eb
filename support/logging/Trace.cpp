#include "support/logging/Trace.h"

namespace pxLib {
namespace {

// How absent and empty strings travel, so a reader can tell them apart.
const char16_t kNullText[] = u"NULL";
const char16_t kEmptyText[] = u"<NULL>";

TraceArg StringArg(const char16_t* s, size_t length) {
    if (s == nullptr) return {kNullText, sizeof(kNullText)};
    if (length == 0) return {kEmptyText, sizeof(kEmptyText)};
    return {s, 2 * (length + 1)};
}

size_t Length(const char16_t* s) {
    size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

}  // namespace

TraceControlBlock& ModuleTraceControl() {
    static TraceControlBlock block;
    return block;
}

TraceArg ToTraceArg(const char16_t* const& s) {
    return StringArg(s, s ? Length(s) : 0);
}
TraceArg ToTraceArg(const std::u16string& s) {
    return StringArg(s.c_str(), s.size());
}
#ifdef _WIN32
TraceArg ToTraceArg(const wchar_t* const& s) {
    const auto* p = reinterpret_cast<const char16_t*>(s);
    return StringArg(p, p ? Length(p) : 0);
}
TraceArg ToTraceArg(const std::wstring& s) {
    return StringArg(reinterpret_cast<const char16_t*>(s.c_str()), s.size());
}
#endif

}  // namespace pxLib
