// What the native build has in place of the platform: no trace sessions, no
// registry (so the debug options are all defaults and the log stays off), no
// debugger channel and no log file.
#include "support/logging/DebugLogPlatform.h"
#include "support/logging/TraceSystem.h"

#include "support/text/Utf.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <ctime>

namespace pxLib {
namespace {

class NoTraceSessions final : public ITraceSystem {
public:
    void Message(uint64_t, uint32_t, const TraceGuid&, uint16_t, const TraceArg*, size_t) override {
    }
    uint64_t LoggerHandle(void*) override { return 0; }
    uint8_t EnableLevel(uint64_t) override { return 0; }
    uint32_t EnableFlags(uint64_t) override { return 0; }
    uint32_t QuerySession(const char16_t*, uint64_t& loggerHandle) override {
        loggerHandle = 0;
        return 1168;  // ERROR_NOT_FOUND
    }
};

}  // namespace

ITraceSystem& PlatformTraceSystem() {
    static NoTraceSessions system;
    return system;
}

namespace debuglog {

void ProductRegistryLocation(std::u16string& root, uint32_t& registryView) {
    root.clear();
    registryView = 0;
}

bool ReadDebugOptions(const std::u16string&, uint32_t, pxTavDebugOptions&) {
    return true;
}

LogStamp CurrentStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    LogStamp stamp;
    stamp.m_year = static_cast<uint16_t>(local.tm_year + 1900);
    stamp.m_month = static_cast<uint16_t>(local.tm_mon + 1);
    stamp.m_day = static_cast<uint16_t>(local.tm_mday);
    stamp.m_hour = static_cast<uint16_t>(local.tm_hour);
    stamp.m_minute = static_cast<uint16_t>(local.tm_min);
    stamp.m_second = static_cast<uint16_t>(local.tm_sec);
    stamp.m_milliseconds = static_cast<uint16_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    stamp.m_processId = static_cast<uint32_t>(getpid());
    stamp.m_threadId = static_cast<uint32_t>(syscall(SYS_gettid));
    return stamp;
}

std::u16string ExecutablePath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path));
    return length > 0 ? Utf8ToUtf16(std::string_view(path, static_cast<size_t>(length)))
                      : std::u16string();
}

void OutputToDebugger(const std::u16string&) {}

struct LogFile::Handle {};

LogFile::LogFile() = default;
LogFile::~LogFile() = default;
bool LogFile::Open(const std::u16string&) {
    return false;
}
void LogFile::Close() {
    m_path.clear();
}
bool LogFile::IsOpen() const {
    return false;
}
void LogFile::Append(std::u16string_view) {}

}  // namespace debuglog
}  // namespace pxLib
