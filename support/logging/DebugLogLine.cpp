#include "support/logging/DebugLogLine.h"

namespace pxLib {
namespace {

const char16_t* TypeName(LogType type) {
    switch (type) {
        case LogType::Information:
            return u"Information";
        case LogType::Warning:
            return u"Warning";
        case LogType::Error:
            return u"Error";
    }
    return nullptr;
}

template <class... Args>
bool Append(std::u16string& line, std::u16string_view format, const Args&... args) {
    const LogArg list[] = {LogArg(args)..., LogArg(0)};
    return FormatLogText(line, format, list, sizeof...(Args));
}

}  // namespace

bool BuildLogLine(const DebugLogSettings& settings, LogType type, const LogStamp& stamp,
                  std::u16string_view format, const LogArg* args, size_t count,
                  std::u16string& out) {
    std::u16string line;
    if (settings.m_prependDateTime)
        Append(line, u"%04d-%02d-%02d-%02d-%02d-%02d-%03d : ", stamp.m_year, stamp.m_month,
               stamp.m_day, stamp.m_hour, stamp.m_minute, stamp.m_second, stamp.m_milliseconds);
    if (settings.m_prependModuleName && !settings.m_name.empty())
        Append(line, u"%s : ", settings.m_name);
    if (settings.m_prependProcessId) Append(line, u"0x%04X : ", stamp.m_processId);
    if (settings.m_prependThreadId) Append(line, u"0x%04X : ", stamp.m_threadId);
    if (settings.m_prependType) {
        if (const char16_t* name = TypeName(type)) Append(line, u"%s : ", name);
    }
    if (!FormatLogText(line, format, args, count)) return false;
    if (settings.m_appendNewLine) {
        while (!line.empty() && (line.back() == u'\r' || line.back() == u'\n')) line.pop_back();
        line += u"\r\n";
    }
    out = std::move(line);
    return true;
}

std::u16string LogFilePath(const DebugLogSettings& settings, uint32_t processId) {
    std::u16string path = settings.m_directory;
    while (!path.empty() && path.back() == u'\\') path.pop_back();
    path += u'\\';
    path += settings.m_name;
    if (settings.m_appendProcessIdToFile) Append(path, u"-0x%04X", processId);
    path += u".log";
    return path;
}

}  // namespace pxLib
