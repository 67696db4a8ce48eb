// What the host saw of one job: printed as it happens (the text form), or
// kept with its times since Start and printed as one JSON document at the end.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qvdhost {

const wchar_t* StateMeaning(int32_t state);
const wchar_t* StatusMeaning(int32_t status);
// Prints one line to stdout at once, as UTF-8.
void PrintLine(const wchar_t* format, ...);

class HostReport {
public:
    explicit HostReport(bool json) : m_json(json) {}

    // The host's own steps ("host: ..."); the text form only.
    void Note(const wchar_t* format, ...);
    void Loaded(const std::wstring& path, const std::wstring& version, const std::wstring& about);
    // Start is called now: the times count from here.
    void Starting();
    // The sink's calls, from the plug-in's thread.
    void Status(int32_t status);
    void Error(int32_t code, const wchar_t* location);
    void State(int32_t state);
    void Final(int32_t state, uint32_t exitCode);
    // The plug-in's debug-log lines of the run.
    void LogLines(const std::wstring& logFile, const std::vector<std::wstring>& lines);
    // The JSON form; nothing in the text form.
    void PrintDocument() const;

private:
    ULONGLONG SinceStart() const;

    const bool m_json;
    mutable std::mutex m_lock;
    ULONGLONG m_start = 0;
    std::string m_dll;
    std::vector<std::string> m_calls;  // JSON objects
    std::vector<std::string> m_states;
    std::string m_final;
    std::string m_log;
};

}  // namespace qvdhost
