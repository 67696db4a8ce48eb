#include "support/logging/DebugLogPlatform.h"

#include "support/isolation/IsolationSettings.h"
#include "support/system/RegistryDword.h"
#include "support/system/UniqueHandle.h"
#include "support/text/Utf.h"

#include <vector>

namespace pxLib::debuglog {
namespace {

constexpr DWORD kMaxValueNameChars = 16384;      // the registry's own limit, with the zero
constexpr DWORD kMaxDirectoryBytes = 32768 * 2;  // the longest Win32 path

bool OpenSubKey(HKEY parent, const std::wstring& name, REGSAM access, UniqueRegKey& key) {
    return RegOpenKeyExW(parent, name.c_str(), 0, access, key.put()) == ERROR_SUCCESS;
}

void ReadFlag(HKEY key, const wchar_t* name, bool& flag) {
    uint32_t value = 0;
    if (ReadRegistryDword(key, name, value)) flag = value != 0;
}

void ReadString(HKEY key, const wchar_t* name, std::u16string& text) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ || size > kMaxDirectoryBytes)
        return;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD read = size;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &read) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return;
    data[std::min<size_t>(read / sizeof(wchar_t), data.size() - 1)] = L'\0';
    text = ToU16(data.data());
}

// Every DWORD value of key, by name; values of other types are skipped.
bool ReadNamedDwords(HKEY key, NamedDwords& values) {
    std::vector<wchar_t> name(kMaxValueNameChars);
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = kMaxValueNameChars;
        DWORD type = 0;
        const LONG result =
            RegEnumValueW(key, index, name.data(), &nameChars, nullptr, &type, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) return true;
        if (result != ERROR_SUCCESS) return false;
        uint32_t value = 0;
        if (type == REG_DWORD && ReadRegistryDword(key, name.data(), value))
            values.emplace_back(ToU16(std::wstring_view(name.data(), nameChars)), value);
    }
}

}  // namespace

void ProductRegistryLocation(std::u16string& root, uint32_t& registryView) {
    root = IsolationSettings::ProductRegistryRoot();
    registryView = IsolationSettings::RegistryView();
}

bool ReadDebugOptions(const std::u16string& root, uint32_t registryView,
                      pxTavDebugOptions& options) {
    const REGSAM access = KEY_READ | registryView;
    UniqueRegKey debug;
    if (!OpenSubKey(HKEY_LOCAL_MACHINE, ToWide(root) + L"\\Plexor\\Debug", access, debug))
        return true;
    UniqueRegKey crashHandler;
    if (OpenSubKey(debug.get(), L"CrashHandler", access, crashHandler))
        ReadNamedDwords(crashHandler.get(), options.m_crashHandler);

    UniqueRegKey output;
    if (!OpenSubKey(debug.get(), L"DebugOutput", access, output)) return true;
    const HKEY key = output.get();
    ReadOptionalRegistryDword(key, L"DebugType", options.m_dwDebugType);
    ReadString(key, L"Directory", options.m_strDirectory);
    ReadFlag(key, L"OutputToDebugger", options.m_bOutputToDebugger);
    ReadFlag(key, L"OutputToFile", options.m_bOutputToFile);
    ReadFlag(key, L"AppendProcessIdToFile", options.m_bAppendProcessIdToFile);
    ReadFlag(key, L"PrependThreadId", options.m_bPrependThreadId);
    ReadFlag(key, L"PrependProcessId", options.m_bPrependProcessId);
    ReadFlag(key, L"PrependDateTime", options.m_bPrependDateTime);
    ReadFlag(key, L"PrependModuleName", options.m_bPrependModuleName);
    ReadFlag(key, L"AppendNewLine", options.m_bAppendNewLine);
    ReadFlag(key, L"PrependType", options.m_bPrependType);
    ReadFlag(key, L"ExclusiveModules", options.m_bExclusiveModules);

    UniqueRegKey modules;
    if (OpenSubKey(key, L"Modules", access, modules))
        return ReadNamedDwords(modules.get(), options.m_modules);
    return true;
}

LogStamp CurrentStamp() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    LogStamp stamp;
    stamp.m_year = now.wYear;
    stamp.m_month = now.wMonth;
    stamp.m_day = now.wDay;
    stamp.m_hour = now.wHour;
    stamp.m_minute = now.wMinute;
    stamp.m_second = now.wSecond;
    stamp.m_milliseconds = now.wMilliseconds;
    stamp.m_processId = GetCurrentProcessId();
    stamp.m_threadId = GetCurrentThreadId();
    return stamp;
}

std::u16string ExecutablePath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return ToU16(std::wstring_view(path, length < MAX_PATH ? length : MAX_PATH - 1));
}

void OutputToDebugger(const std::u16string& line) {
    OutputDebugStringW(AsWide(line));
}

struct LogFile::Handle {
    UniqueHandle m_file;
};

LogFile::LogFile() = default;
LogFile::~LogFile() = default;

bool LogFile::Open(const std::u16string& path) {
    Close();
    UniqueHandle file{CreateFileW(AsWide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    const DWORD openResult = GetLastError();
    if (!file) return false;
    if (openResult != ERROR_ALREADY_EXISTS) {
        static const BYTE kByteOrderMark[] = {0xFF, 0xFE};
        DWORD written = 0;
        WriteFile(file.get(), kByteOrderMark, sizeof(kByteOrderMark), &written, nullptr);
    }
    LARGE_INTEGER origin{};
    SetFilePointerEx(file.get(), origin, nullptr, FILE_END);
    m_handle = std::make_unique<Handle>(Handle{std::move(file)});
    m_path = path;
    return true;
}

void LogFile::Close() {
    m_handle.reset();
    m_path.clear();
}

bool LogFile::IsOpen() const {
    return m_handle != nullptr;
}

void LogFile::Append(std::u16string_view text) {
    if (!m_handle) return;
    DWORD written = 0;
    WriteFile(m_handle->m_file.get(), text.data(), static_cast<DWORD>(text.size() * 2), &written,
              nullptr);
}

}  // namespace pxLib::debuglog
