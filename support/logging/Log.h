// The debug log: human-readable lines for the debugger and an optional UTF-16
// log file, shaped by the registry options beneath the product registry root.
// Format strings are printf-style UTF-16 (see LogFormat.h); a disabled log
// formats nothing.
#pragma once

#include "support/logging/LogFormat.h"

#include <cstdint>
#include <string_view>

namespace pxLib {

enum class LogType : uint32_t { Information = 1, Warning = 2, Error = 3 };

// Loads the options on first use; true when a line of this type is written.
[[nodiscard]] bool IsLogEnabled(LogType type);

// Formats one message and writes it with the configured prefixes.
void WriteLogLine(LogType type, std::u16string_view format, const LogArg* args, size_t count);

namespace detail {
inline std::u16string_view FormatView(const char16_t* format) {
    return format;
}
#ifdef _WIN32
inline std::u16string_view FormatView(const wchar_t* format) {
    return reinterpret_cast<const char16_t*>(format);
}
#endif

template <class Format, class... Args>
void Log(LogType type, const Format& format, const Args&... args) {
    if (!IsLogEnabled(type)) return;
    const LogArg list[] = {LogArg(args)..., LogArg(0)};
    WriteLogLine(type, FormatView(format), list, sizeof...(Args));
}
}  // namespace detail

template <class Format, class... Args>
void LogInformation(const Format& format, const Args&... args) {
    detail::Log(LogType::Information, format, args...);
}
template <class Format, class... Args>
void LogWarning(const Format& format, const Args&... args) {
    detail::Log(LogType::Warning, format, args...);
}
template <class Format, class... Args>
void LogError(const Format& format, const Args&... args) {
    detail::Log(LogType::Error, format, args...);
}

}  // namespace pxLib
