// The thin seam between the trace provider and the platform's event tracing:
// the event call and the getters of an enable request. Sessions cannot be
// observed under Wine, so tests put a recorder in its place; the default calls
// TraceMessage, GetTraceLoggerHandle, GetTraceEnableLevel, GetTraceEnableFlags
// and ControlTraceW.
#pragma once

#include "support/logging/Trace.h"

#include <cstddef>
#include <cstdint>

namespace pxLib {

// TRACE_MESSAGE_SEQUENCE | TRACE_MESSAGE_GUID | TRACE_MESSAGE_TIMESTAMP |
// TRACE_MESSAGE_SYSTEMINFO.
constexpr uint32_t kTraceMessageFlags = 0x2B;

class ITraceSystem {
public:
    virtual ~ITraceSystem() = default;
    // One event; pairs[count] is the null pair that ends the list.
    virtual void Message(uint64_t loggerHandle, uint32_t messageFlags, const TraceGuid& messageGuid,
                         uint16_t messageNumber, const TraceArg* pairs, size_t count) = 0;
    // What an enable request carries.
    virtual uint64_t LoggerHandle(void* requestBuffer) = 0;
    virtual uint8_t EnableLevel(uint64_t loggerHandle) = 0;
    virtual uint32_t EnableFlags(uint64_t loggerHandle) = 0;
    // Queries a running session by name; the Win32 result, and its handle.
    virtual uint32_t QuerySession(const char16_t* sessionName, uint64_t& loggerHandle) = 0;
};

ITraceSystem& CurrentTraceSystem();
// For tests: replaces the platform; nullptr puts the platform back.
void SetTraceSystem(ITraceSystem* system);
// The platform's own (event tracing on Windows, nothing in the native build).
ITraceSystem& PlatformTraceSystem();

}  // namespace pxLib
