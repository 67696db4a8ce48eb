// Reading, writing and enumerating the values and subkeys of an open key.
#include "support/registry/RegistryKey.h"

#include "support/logging/Trace.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x2f4f1b73, 0x28c9, 0x4d3b, {0xa3, 0xad, 0x9c, 0x8f, 0x3e, 0x63, 0x58, 0x4d}}};
enum class TraceEvent : uint16_t {
    DwordQueryFailed = 1,
    DwordInvalid = 2,
    StringSizeFailed = 3,
    StringInvalid = 4,
    StringReadFailed = 5,
    StringChanged = 6,
    StringKeptGrowing = 7,
    SetDwordFailed = 8,
    StringTooLong = 9,
    SetStringFailed = 10,
    DeleteValueFailed = 11,
    EnumerateSubKeyFailed = 12,
    EnumerateValueFailed = 13,
};

// A value that keeps growing between the size query and the read is given up on.
constexpr int kStringReadAttempts = 4;

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

TraceLevel QueryFailureLevel(LONG error) {
    return error == ERROR_FILE_NOT_FOUND ? TraceLevel::Verbose : TraceLevel::Error;
}

}  // namespace

bool RegistryKey::QueryDWORD(const wchar_t* name, DWORD& value) {
    if (!RequireOpen()) return false;
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof(data);
    const LONG rc =
        RegQueryValueExW(m_key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) {
        m_lastError = rc;
        Trace(kTraceSource, QueryFailureLevel(rc), TraceEvent::DwordQueryFailed, name, rc);
        return false;
    }
    // A REG_DWORD shorter than 4 bytes would leave part of the result unread.
    if (rc == ERROR_MORE_DATA || type != REG_DWORD || size != sizeof(DWORD)) {
        m_lastError = ERROR_INVALID_DATA;
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::DwordInvalid, name, type, size);
        return false;
    }
    value = data;
    m_lastError = ERROR_SUCCESS;
    return true;
}

bool RegistryKey::QueryString(const wchar_t* name, std::wstring& value) {
    if (!RequireOpen()) return false;
    for (int attempt = 0; attempt < kStringReadAttempts; ++attempt) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        LONG rc = RegQueryValueExW(m_key.get(), name, nullptr, &type, nullptr, &size);
        if (rc != ERROR_SUCCESS) {
            m_lastError = rc;
            Trace(kTraceSource, QueryFailureLevel(rc), TraceEvent::StringSizeFailed, name, rc);
            return false;
        }
        if (!IsStringType(type) || size % sizeof(wchar_t) != 0) {
            m_lastError = ERROR_INVALID_DATA;
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::StringInvalid, name, type, size);
            return false;
        }
        std::wstring text(size / sizeof(wchar_t), L'\0');
        if (size != 0) {
            rc = RegQueryValueExW(m_key.get(), name, nullptr, &type,
                                  reinterpret_cast<BYTE*>(text.data()), &size);
            if (rc == ERROR_MORE_DATA) continue;
            if (rc != ERROR_SUCCESS) {
                m_lastError = rc;
                Trace(kTraceSource, QueryFailureLevel(rc), TraceEvent::StringReadFailed, name, rc);
                return false;
            }
            // The value may have been replaced between the two calls.
            if (!IsStringType(type) || size % sizeof(wchar_t) != 0) {
                m_lastError = ERROR_INVALID_DATA;
                Trace(kTraceSource, TraceLevel::Error, TraceEvent::StringChanged, name, type, size);
                return false;
            }
            text.resize(size / sizeof(wchar_t));
        }
        const size_t end = text.find(L'\0');
        if (end != std::wstring::npos) text.resize(end);
        value = std::move(text);
        m_lastError = ERROR_SUCCESS;
        return true;
    }
    m_lastError = ERROR_MORE_DATA;
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::StringKeptGrowing, name, m_lastError);
    return false;
}

bool RegistryKey::SetDWORD(const wchar_t* name, DWORD value) {
    if (!RequireOpen()) return false;
    m_lastError = RegSetValueExW(m_key.get(), name, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value), sizeof(value));
    if (m_lastError != ERROR_SUCCESS)
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SetDwordFailed, name, m_lastError);
    return m_lastError == ERROR_SUCCESS;
}

bool RegistryKey::SetString(const wchar_t* name, const std::wstring& text) {
    if (!RequireOpen()) return false;
    if (text.size() >= MAXDWORD / sizeof(wchar_t)) {
        m_lastError = ERROR_INVALID_PARAMETER;
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::StringTooLong, name, m_lastError);
        return false;
    }
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    m_lastError = RegSetValueExW(m_key.get(), name, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(text.c_str()), bytes);
    if (m_lastError != ERROR_SUCCESS)
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SetStringFailed, name, m_lastError);
    return m_lastError == ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(const wchar_t* name) {
    if (!RequireOpen()) return false;
    m_lastError = RegDeleteValueW(m_key.get(), name);
    if (m_lastError != ERROR_SUCCESS)
        Trace(kTraceSource, QueryFailureLevel(m_lastError), TraceEvent::DeleteValueFailed, name,
              m_lastError);
    return m_lastError == ERROR_SUCCESS;
}

LONG RegistryKey::EnumerateSubKey(DWORD index, wchar_t* name, DWORD capacity) {
    if (!RequireOpen()) return m_lastError;
    if (name == nullptr || capacity == 0) return m_lastError = ERROR_INVALID_PARAMETER;
    DWORD length = capacity;
    m_lastError =
        RegEnumKeyExW(m_key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (m_lastError != ERROR_SUCCESS && m_lastError != ERROR_NO_MORE_ITEMS)
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::EnumerateSubKeyFailed, index,
              m_lastError);
    return m_lastError;
}

LONG RegistryKey::EnumerateValue(DWORD index, wchar_t* name, DWORD capacity) {
    if (!RequireOpen()) return m_lastError;
    if (name == nullptr || capacity == 0) return m_lastError = ERROR_INVALID_PARAMETER;
    DWORD length = capacity;
    m_lastError =
        RegEnumValueW(m_key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (m_lastError != ERROR_SUCCESS && m_lastError != ERROR_NO_MORE_ITEMS)
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::EnumerateValueFailed, index,
              m_lastError);
    return m_lastError;
}

}  // namespace pxLib
