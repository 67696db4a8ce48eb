#include "ProcessMemory.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <fstream>
#include <sstream>
#include <string>
#endif

namespace bench {

#ifdef _WIN32

bool ReadMemoryKiB(uint64_t& resident, uint64_t& peak) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return false;
    resident = counters.WorkingSetSize / 1024;
    peak = counters.PeakWorkingSetSize / 1024;
    return true;
}

bool RestartPeakMemory() {
    return false;
}

#else

namespace {

// Written to clear_refs: restart the peak resident set.
const char kRestartPeak[] = "5";

bool FieldKiB(const std::string& line, const char* name, uint64_t& value) {
    const std::string prefix = std::string(name) + ":";
    if (line.compare(0, prefix.size(), prefix) != 0) return false;
    std::istringstream(line.substr(prefix.size())) >> value;
    return true;
}

}  // namespace

bool ReadMemoryKiB(uint64_t& resident, uint64_t& peak) {
    std::ifstream status("/proc/self/status");
    bool haveResident = false, havePeak = false;
    for (std::string line; std::getline(status, line);) {
        haveResident = FieldKiB(line, "VmRSS", resident) || haveResident;
        havePeak = FieldKiB(line, "VmHWM", peak) || havePeak;
    }
    return haveResident && havePeak;
}

bool RestartPeakMemory() {
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << kRestartPeak;
    clearRefs.flush();
    return static_cast<bool>(clearRefs);
}

#endif

}  // namespace bench
