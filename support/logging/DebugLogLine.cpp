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
    if (settings.m_bPrependDateTime)
        Append(line, u"%04d-%02d-%02d-%02d-%02d-%02d-%03d : ", stamp.m_wYear, stamp.m_wMonth,
               stamp.m_wDay, stamp.m_wHour, stamp.m_wMinute, stamp.m_wSecond,
               stamp.m_wMilliseconds);
    if (settings.m_bPrependModuleName && !settings.m_strName.empty())
        Append(line, u"%s : ", settings.m_strName);
    if (settings.m_bPrependProcessId) Append(line, u"0x%04X : ", stamp.m_dwProcessId);
    if (settings.m_bPrependThreadId) Append(line, u"0x%04X : ", stamp.m_dwThreadId);
    if (settings.m_bPrependType) {
        if (const char16_t* name = TypeName(type)) Append(line, u"%s : ", name);
    }
    if (!FormatLogText(line, format, args, count)) return false;
    if (settings.m_bAppendNewLine) {
        while (!line.empty() && (line.back() == u'\r' || line.back() == u'\n')) line.pop_back();
        line += u"\r\n";
    }
    out = std::move(line);
    return true;
}

std::u16string LogFilePath(const DebugLogSettings& settings, uint32_t processId) {
    std::u16string path = settings.m_strDirectory;
    while (!path.empty() && path.back() == u'\\') path.pop_back();
    path += u'\\';
    path += settings.m_strName;
    if (settings.m_bAppendProcessIdToFile) Append(path, u"-0x%04X", processId);
    path += u".log";
    return path;
}

}  // namespace pxLib
