#include "support/cmdline/pxCommandLine.h"

#include "support/logging/Trace.h"

#include <windows.h>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xbc812d54, 0xf87c, 0x428d, {0xbc, 0xd9, 0x80, 0xf4, 0x01, 0xd8, 0xca, 0xc9}}};
enum class TraceEvent : uint16_t {
    ProcessCommandLineNotParsed = 1,
};

}  // namespace

bool CCommandLine::ParseProcessCommandLine() {
    if (Parse(GetCommandLineW(), L"/-")) return true;
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::ProcessCommandLineNotParsed);
    return false;
}

}  // namespace pxLib
