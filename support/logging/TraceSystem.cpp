#include "support/logging/TraceSystem.h"

#include <algorithm>
#include <atomic>

namespace pxLib {
namespace {
std::atomic<ITraceSystem*> g_replacement{nullptr};
}  // namespace

ITraceSystem& CurrentTraceSystem() {
    ITraceSystem* replacement = g_replacement.load(std::memory_order_acquire);
    return replacement ? *replacement : PlatformTraceSystem();
}

void SetTraceSystem(ITraceSystem* system) {
    g_replacement.store(system, std::memory_order_release);
}

void EmitTrace(const TraceSource& source, uint16_t number, const TraceArg* args, size_t count) {
    // The platform call takes a fixed argument list; a longer one cannot be sent.
    if (count > kMaxTraceArgs) return;
    TraceArg pairs[kMaxTraceArgs + 1];
    std::copy(args, args + count, pairs);
    pairs[count] = TraceArg{nullptr, 0};
    CurrentTraceSystem().Message(ModuleTraceControl().loggerHandle.load(std::memory_order_relaxed),
                                 kTraceMessageFlags, source.messageGuid, number, pairs, count);
}

}  // namespace pxLib
