// Event tracing in the WPP manner: each trace point tests the module's control
// block and, only when a session listens at its level with flag bit 0, emits
// one binary event (message GUID, number, arguments as pointer/length pairs).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#ifdef _WIN32
#include <windows.h>
#endif

namespace pxLib {

enum class TraceLevel : uint8_t { Error = 2, Warning = 3, Information = 4, Verbose = 5 };

// Same layout as the platform's GUID.
struct TraceGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

// The one control block of this module. The platform's enable callback writes
// it while trace points read it, hence the atomics.
struct TraceControlBlock {
    std::atomic<uint64_t> registrationHandle{0};
    std::atomic<uint64_t> loggerHandle{0};  // 0: nobody listens
    std::atomic<uint8_t> level{0};
    std::atomic<uint32_t> flags{0};
    std::atomic<bool> listed{false};  // in the module's control list (after start-up)
};
TraceControlBlock& ModuleTraceControl();

[[nodiscard]] inline bool TraceEnabled(TraceLevel level) {
    const TraceControlBlock& block = ModuleTraceControl();
    return block.listed.load(std::memory_order_relaxed) &&
           (block.flags.load(std::memory_order_relaxed) & 1u) != 0 &&
           block.level.load(std::memory_order_relaxed) >= static_cast<uint8_t>(level);
}

// One argument as the event carries it.
struct TraceArg {
    const void* data;
    size_t size;
};

// Encodings: 4 bytes for 32-bit values, 8 for 64-bit values, handles and
// pointers, 16 for GUIDs; wide strings with their terminator, a null string
// as the text "NULL" and an empty one as "<NULL>".
inline TraceArg ToTraceArg(const int32_t& v) {
    return {&v, 4};
}
inline TraceArg ToTraceArg(const uint32_t& v) {
    return {&v, 4};
}
inline TraceArg ToTraceArg(const int64_t& v) {
    return {&v, 8};
}
inline TraceArg ToTraceArg(const uint64_t& v) {
    return {&v, 8};
}
inline TraceArg ToTraceArg(const TraceGuid& v) {
    return {&v, 16};
}
inline TraceArg ToTraceArg(void* const& v) {
    return {&v, 8};
}
inline TraceArg ToTraceArg(const void* const& v) {
    return {&v, 8};
}
TraceArg ToTraceArg(const char16_t* const& s);
TraceArg ToTraceArg(const std::u16string& s);
#ifdef _WIN32
inline TraceArg ToTraceArg(const long& v) {
    return {&v, 4};
}  // HRESULT, LONG
inline TraceArg ToTraceArg(const unsigned long& v) {
    return {&v, 4};
}  // DWORD
inline TraceArg ToTraceArg(const GUID& v) {
    return {&v, 16};
}
TraceArg ToTraceArg(const wchar_t* const& s);
TraceArg ToTraceArg(const std::wstring& s);
#endif

// The message GUID of one source module; numbers are unique within it.
struct TraceSource {
    TraceGuid messageGuid;
};

// Hands one event to the platform (TraceMessage), or to a test's recorder.
// An event carries at most kMaxTraceArgs arguments.
constexpr size_t kMaxTraceArgs = 10;
void EmitTrace(const TraceSource& source, uint16_t number, const TraceArg* args, size_t count);

template <class... Args>
void Trace(const TraceSource& source, TraceLevel level, uint16_t number, const Args&... args) {
    static_assert(sizeof...(Args) <= kMaxTraceArgs, "too many arguments for one trace event");
    if (!TraceEnabled(level)) return;
    const TraceArg list[] = {ToTraceArg(args)..., TraceArg{nullptr, 0}};
    EmitTrace(source, number, list, sizeof...(Args));
}

// A source file names its events in its own enum class TraceEvent : uint16_t;
// the event carries its enumerator's number.
template <class Event, class... Args, std::enable_if_t<std::is_enum_v<Event>, int> = 0>
void Trace(const TraceSource& source, TraceLevel level, Event event, const Args&... args) {
    static_assert(std::is_same_v<std::underlying_type_t<Event>, uint16_t>,
                  "trace events are numbered in 16 bits");
    Trace(source, level, static_cast<uint16_t>(event), args...);
}

}  // namespace pxLib
