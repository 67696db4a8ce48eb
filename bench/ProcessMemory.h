// The benchmark process's memory as the kernel counts it, from
// /proc/self/status. Under Wine the same file is Z:\proc\self\status (Wine's
// own process memory counters read 0); on Windows itself it is missing.
#pragma once

#include <cstdint>

namespace bench {

// The resident set and its high-water mark, in KiB; false where unknown.
bool ReadMemoryKiB(uint64_t& resident, uint64_t& peak);

// Starts the high-water mark again from the resident set (Linux 4.0 and
// later); false where that is refused, and peaks then add up.
bool RestartPeakMemory();

}  // namespace bench
