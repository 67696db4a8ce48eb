#include "support/logging/TraceSystem.h"

#include <windows.h>
#include <evntrace.h>

#include <array>
#include <tuple>
#include <utility>

namespace pxLib {
namespace {

static_assert(sizeof(TraceGuid) == sizeof(GUID), "TraceGuid must match GUID");
// The query asks for the fixed part only; the names do not fit, hence ERROR_MORE_DATA.
static_assert(sizeof(EVENT_TRACE_PROPERTIES) == 120, "query properties are 120 bytes");

using Sender = ULONG (*)(TRACEHANDLE, ULONG, const GUID*, USHORT, const TraceArg*);

// TraceMessage takes its (pointer, length) pairs as variadic arguments, so each
// argument count has its own call; I runs over the pairs and the null pair.
template <size_t... I>
ULONG SendPairs(TRACEHANDLE logger, ULONG flags, const GUID* guid, USHORT number,
                const TraceArg* pairs, std::index_sequence<I...>) {
    return std::apply(
        [&](auto... values) { return ::TraceMessage(logger, flags, guid, number, values...); },
        std::tuple_cat(std::make_tuple(const_cast<void*>(pairs[I].data), pairs[I].size)...));
}

template <size_t N>
ULONG Send(TRACEHANDLE logger, ULONG flags, const GUID* guid, USHORT number,
           const TraceArg* pairs) {
    return SendPairs(logger, flags, guid, number, pairs, std::make_index_sequence<N + 1>{});
}

template <size_t... N>
constexpr std::array<Sender, sizeof...(N)> MakeSenders(std::index_sequence<N...>) {
    return {&Send<N>...};
}
constexpr auto kSenders = MakeSenders(std::make_index_sequence<kMaxTraceArgs + 1>{});

class Win32TraceSystem final : public ITraceSystem {
public:
    void Message(uint64_t loggerHandle, uint32_t messageFlags, const TraceGuid& messageGuid,
                 uint16_t messageNumber, const TraceArg* pairs, size_t count) override {
        if (count >= kSenders.size()) return;
        // The result is ignored: tracing never fails visibly.
        kSenders[count](loggerHandle, messageFlags, reinterpret_cast<const GUID*>(&messageGuid),
                        messageNumber, pairs);
    }
    uint64_t LoggerHandle(void* requestBuffer) override {
        return ::GetTraceLoggerHandle(requestBuffer);
    }
    uint8_t EnableLevel(uint64_t loggerHandle) override {
        return ::GetTraceEnableLevel(loggerHandle);
    }
    uint32_t EnableFlags(uint64_t loggerHandle) override {
        return ::GetTraceEnableFlags(loggerHandle);
    }
    uint32_t QuerySession(const char16_t* sessionName, uint64_t& loggerHandle) override {
        EVENT_TRACE_PROPERTIES properties{};
        properties.Wnode.BufferSize = sizeof(properties);
        properties.Wnode.Flags = WNODE_FLAG_TRACED_GUID;
        const ULONG result = ::ControlTraceW(0, reinterpret_cast<const wchar_t*>(sessionName),
                                             &properties, EVENT_TRACE_CONTROL_QUERY);
        loggerHandle = properties.Wnode.HistoricalContext;
        return result;
    }
};

}  // namespace

ITraceSystem& PlatformTraceSystem() {
    static Win32TraceSystem system;
    return system;
}

}  // namespace pxLib
