#include "support/logging/DebugLogger.h"

#include "support/logging/DebugLogLine.h"
#include "support/system/ThreadSlot.h"

namespace pxLib {
namespace {

// Set while this thread loads the options: a line logged meanwhile (by the
// isolation settings, say) finds the log still off instead of loading again.
ThreadSlot g_loading;

}  // namespace

DebugOutputLogger& ModuleDebugLogger() {
    static DebugOutputLogger logger;
    return logger;
}

namespace {
// The logger exists before module start-up, not just from its first line.
[[maybe_unused]] DebugOutputLogger& g_createdWithTheModule = ModuleDebugLogger();
}  // namespace

void DebugOutputLogger::LoadOptions() {
    if (m_optionsLoaded.load(std::memory_order_acquire) || g_loading.Get() != 0) return;
    // Unguarded, a line logged while loading would load again: without the
    // mark the log stays off for this line, and the next one tries again.
    if (!g_loading.Set(1)) return;
    // Asked before taking our lock: the isolation settings take their own.
    std::u16string root;
    uint32_t registryView = 0;
    try {
        debuglog::ProductRegistryLocation(root, registryView);
    } catch (...) {
        root.clear();
    }
    {
        std::lock_guard<std::recursive_mutex> lock(m_lock);
        if (!m_optionsLoaded.load(std::memory_order_relaxed)) {
            try {
                pxTavDebugOptions options;
                if (!root.empty() && debuglog::ReadDebugOptions(root, registryView, options)) {
                    ApplyDebugOptions(options, m_settings);
                    FillMissingNames(debuglog::ExecutablePath(), m_settings);
                }
            } catch (...) {
                m_settings.m_level = 0;  // out of memory while loading: the log stays off
            }
            m_optionsLoaded.store(true, std::memory_order_release);
        }
    }
    static_cast<void>(g_loading.Set(0));
}

bool DebugOutputLogger::IsEnabled(LogType type) {
    LoadOptions();
    const uint32_t level = m_settings.m_level;
    return level != 0 && static_cast<uint32_t>(type) >= level;
}

void DebugOutputLogger::Write(LogType type, std::u16string_view format, const LogArg* args,
                              size_t count) {
    if (!IsEnabled(type)) return;
    try {
        const LogStamp stamp = debuglog::CurrentStamp();
        std::u16string line;
        if (!BuildLogLine(m_settings, type, stamp, format, args, count, line)) return;
        // The debugger gets lines without the lock; only the file needs it.
        if (m_settings.m_outputToDebugger) debuglog::OutputToDebugger(line);
        if (m_settings.m_outputToFile) WriteToFile(line, stamp.m_processId);
    } catch (...) {
        // A line that cannot be built is dropped.
    }
}

void DebugOutputLogger::WriteToFile(const std::u16string& line, uint32_t processId) {
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    // A file that failed to open is tried again with every line.
    if (!m_file.IsOpen() && !m_file.Open(LogFilePath(m_settings, processId))) return;
    m_file.Append(line);
}

bool IsLogEnabled(LogType type) {
    return ModuleDebugLogger().IsEnabled(type);
}

void WriteLogLine(LogType type, std::u16string_view format, const LogArg* args, size_t count) {
    ModuleDebugLogger().Write(type, format, args, count);
}

}  // namespace pxLib
