// The debug-output logger of this module: options loaded once per process,
// lines assembled with their prefixes and written to the debugger and the log
// file. Log.h's IsLogEnabled and WriteLogLine go through the module's logger.
#pragma once

#include "support/logging/DebugLogPlatform.h"
#include "support/logging/DebugOptions.h"
#include "support/logging/Log.h"

#include <atomic>
#include <mutex>
#include <string_view>

namespace pxLib {

class DebugOutputLogger {
public:
    [[nodiscard]] bool IsEnabled(LogType type);
    void Write(LogType type, std::u16string_view format, const LogArg* args, size_t count);

private:
    void LoadOptions();
    void WriteToFile(const std::u16string& line, uint32_t processId);

    // Serialises loading, opening and file writes.
    std::recursive_mutex m_lock;
    std::atomic<bool> m_optionsLoaded{false};
    DebugLogSettings m_settings;
    debuglog::LogFile m_file;
};

DebugOutputLogger& ModuleDebugLogger();

}  // namespace pxLib
