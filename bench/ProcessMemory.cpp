#include "ProcessMemory.h"

#include <fstream>
#include <sstream>
#include <string>

namespace bench {
namespace {

#ifdef _WIN32
const char kStatus[] = "Z:\\proc\\self\\status";
const char kClearRefs[] = "Z:\\proc\\self\\clear_refs";
#else
const char kStatus[] = "/proc/self/status";
const char kClearRefs[] = "/proc/self/clear_refs";
#endif
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
    std::ifstream status(kStatus);
    bool haveResident = false, havePeak = false;
    for (std::string line; std::getline(status, line);) {
        haveResident = FieldKiB(line, "VmRSS", resident) || haveResident;
        havePeak = FieldKiB(line, "VmHWM", peak) || havePeak;
    }
    return haveResident && havePeak;
}

bool RestartPeakMemory() {
    std::ofstream clearRefs(kClearRefs);
    clearRefs << kRestartPeak;
    clearRefs.flush();
    return static_cast<bool>(clearRefs);
}

}  // namespace bench
