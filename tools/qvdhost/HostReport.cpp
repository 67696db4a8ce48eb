#include "HostReport.h"

#include "Utf8Text.h"

#include <cstdarg>
#include <cstdio>

namespace qvdhost {
namespace {

std::mutex g_printLock;

std::wstring Format(const wchar_t* format, va_list args) {
    wchar_t line[2048];
    _vsnwprintf(line, sizeof(line) / sizeof(line[0]) - 1, format, args);
    line[sizeof(line) / sizeof(line[0]) - 1] = L'\0';
    return line;
}

void Write(const std::string& bytes) {
    std::lock_guard<std::mutex> guard(g_printLock);
    fwrite(bytes.data(), 1, bytes.size(), stdout);
    fflush(stdout);
}

// A JSON string of text.
std::string Json(const std::wstring& text) {
    std::string out = "\"";
    for (const char c : Utf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "\"0x%08X\"", value);
    return text;
}

std::string Events(const char* name, const std::vector<std::string>& items) {
    std::string out = std::string("  \"") + name + "\": [";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? ",\n    " : "\n    ") + items[i];
    return out + (items.empty() ? "]" : "\n  ]");
}

}  // namespace

void PrintLine(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring line = Format(format, args);
    va_end(args);
    Write(Utf8(line + L"\n"));
}

const wchar_t* StateMeaning(int32_t state) {
    switch (state) {
        case 0:
            return L"created, never started";
        case 2:
            return L"running";
        case 3:
            return L"finished, the product is installed";
        case 4:
            return L"finished, the installer started a reboot";
        case 5:
            return L"finished, a reboot is required or still pending";
        case 6:
            return L"cancelled, declined, or finished without the product installed";
        case 7:
            return L"the installer ended with a code of state 7";
        case 8:
            return L"the installer ended with a reported code";
        case 10:
            return L"the installer ended with exit code 0x80047C10";
        case -1:
            return L"failed: no usable job, no installer process, or an unknown failure";
        case -2:
            return L"failed before or while starting the installer";
        case -3:
            return L"the installer failed with a reported code";
        default:
            return L"unknown state";
    }
}

const wchar_t* StatusMeaning(int32_t status) {
    switch (status) {
        case 4:
            return L"installer started, waiting for it";
        case 15:
            return L"waiting for an installer or update already running";
        case 16:
            return L"product found installed after waiting";
        case 17:
            return L"product already installed";
        case 18:
            return L"elevation declined, or the installer declined";
        case -3:
            return L"job failed";
        default:
            return L"unknown status";
    }
}

void HostReport::Note(const wchar_t* format, ...) {
    if (m_json) return;
    va_list args;
    va_start(args, format);
    const std::wstring line = Format(format, args);
    va_end(args);
    Write(Utf8(L"host: " + line + L"\n"));
}

void HostReport::Loaded(const std::wstring& path, const std::wstring& version,
                        const std::wstring& about) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_dll = "{\"path\": " + Json(path) + ", \"version\": " + Json(version) +
            ", \"description\": " + Json(about) + "}";
    if (!m_json)
        PrintLine(L"host: loaded %ls, version %ls%ls", path.c_str(), version.c_str(),
                  about.empty() ? L"" : (L" (" + about + L")").c_str());
}

void HostReport::Starting() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_start = GetTickCount64();
}

ULONGLONG HostReport::SinceStart() const {
    return m_start == 0 ? 0 : GetTickCount64() - m_start;
}

void HostReport::Status(int32_t status) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_calls.push_back("{\"ms\": " + std::to_string(SinceStart()) +
                      ", \"call\": \"ReportStatus\", \"status\": " + std::to_string(status) +
                      ", \"meaning\": " + Json(StatusMeaning(status)) + "}");
    if (!m_json) PrintLine(L"sink: ReportStatus(%d) - %ls", status, StatusMeaning(status));
}

void HostReport::Error(int32_t code, const wchar_t* location) {
    const std::wstring where = location ? location : L"(null)";
    std::lock_guard<std::mutex> guard(m_lock);
    m_calls.push_back("{\"ms\": " + std::to_string(SinceStart()) +
                      ", \"call\": \"ReportError\", \"code\": " + Hex(static_cast<uint32_t>(code)) +
                      ", \"location\": " + Json(where) + "}");
    if (!m_json)
        PrintLine(L"sink: ReportError(0x%08X, %ls)", static_cast<unsigned>(code), where.c_str());
}

void HostReport::State(int32_t state) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_states.push_back("{\"ms\": " + std::to_string(SinceStart()) + ", \"state\": " +
                       std::to_string(state) + ", \"meaning\": " + Json(StateMeaning(state)) + "}");
    if (!m_json) PrintLine(L"state: %d - %ls", state, StateMeaning(state));
}

void HostReport::Final(int32_t state, uint32_t exitCode) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_final = "  \"final_state\": " + std::to_string(state) +
              ",\n  \"final_meaning\": " + Json(StateMeaning(state)) +
              ",\n  \"exit_code\": " + Hex(exitCode) +
              ",\n  \"duration_ms\": " + std::to_string(SinceStart());
    if (m_json) return;
    PrintLine(L"final state: %d - %ls", state, StateMeaning(state));
    PrintLine(L"exit code: 0x%08X", exitCode);
}

void HostReport::LogLines(const std::wstring& logFile, const std::vector<std::wstring>& lines) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_log = "  \"log_file\": " + Json(logFile) + ",\n  \"log\": [";
    for (size_t i = 0; i < lines.size(); ++i) m_log += (i ? ",\n    " : "\n    ") + Json(lines[i]);
    m_log += lines.empty() ? "]" : "\n  ]";
    if (m_json) return;
    PrintLine(L"log: %u line(s) of the plug-in's debug log (%ls)",
              static_cast<unsigned>(lines.size()), logFile.c_str());
    for (const std::wstring& line : lines) Write(Utf8(L"log: " + line + L"\n"));
}

void HostReport::PrintDocument() const {
    if (!m_json) return;
    std::lock_guard<std::mutex> guard(m_lock);
    std::string doc = "{\n  \"dll\": " + (m_dll.empty() ? std::string("null") : m_dll) + ",\n" +
                      Events("calls", m_calls) + ",\n" + Events("states", m_states);
    if (!m_final.empty()) doc += ",\n" + m_final;
    if (!m_log.empty()) doc += ",\n" + m_log;
    Write(doc + "\n}\n");
}

}  // namespace qvdhost
