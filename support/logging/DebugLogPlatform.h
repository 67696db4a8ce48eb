// What the debug log needs from the system: the product's registry location
// and its options, the time and ids, the debugger and the log file. Windows
// has them all; the native build has no registry, so its log stays off.
#pragma once

#include "support/logging/DebugLogLine.h"
#include "support/logging/DebugOptions.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace pxLib::debuglog {

// The product registry root and the registry view of the isolation settings.
void ProductRegistryLocation(std::u16string& root, uint32_t& registryView);

// Reads HKEY_LOCAL_MACHINE\<root>\Plexor\Debug: "DebugOutput" with its
// "Modules", and "CrashHandler". Missing keys and values keep the defaults.
// False when listing "Modules" failed for another reason than its end.
[[nodiscard]] bool ReadDebugOptions(const std::u16string& root, uint32_t registryView,
                                    pxTavDebugOptions& options);

LogStamp CurrentStamp();
std::u16string ExecutablePath();
void OutputToDebugger(const std::u16string& line);

// The log file, opened for writing with read sharing only.
class LogFile {
public:
    LogFile();
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens or creates the file and moves to its end; a new file gets the
    // UTF-16LE byte-order mark. False leaves it closed.
    [[nodiscard]] bool Open(const std::u16string& path);
    void Close();
    [[nodiscard]] bool IsOpen() const;
    const std::u16string& Path() const { return m_path; }
    // Writes the units of text (no terminating zero) at the current end.
    void Append(std::u16string_view text);

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    std::u16string m_path;
};

}  // namespace pxLib::debuglog
