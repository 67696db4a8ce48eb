// Assembly of one debug-log line and the log file's name: the prefixes in
// their fixed order, the message, and the line end.
#pragma once

#include "support/logging/DebugOptions.h"
#include "support/logging/Log.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace pxLib {

// The moment and the ids a line is stamped with.
struct LogStamp {
    uint16_t m_year = 0, m_month = 0, m_day = 0;
    uint16_t m_hour = 0, m_minute = 0, m_second = 0, m_milliseconds = 0;
    uint32_t m_processId = 0;
    uint32_t m_threadId = 0;
};

// Builds the line into out. False (out unchanged) when the message cannot be
// formatted: the line is then dropped.
[[nodiscard]] bool BuildLogLine(const DebugLogSettings& settings, LogType type,
                                const LogStamp& stamp, std::u16string_view format,
                                const LogArg* args, size_t count, std::u16string& out);

// <directory without trailing backslashes>\<name>[-0x%04X].log
std::u16string LogFilePath(const DebugLogSettings& settings, uint32_t processId);

}  // namespace pxLib
