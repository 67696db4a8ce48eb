#include "support/isolation/IsolateIni.h"

#include <windows.h>

#include "support/isolation/IniText.h"
#include "support/logging/Trace.h"
#include "support/system/ModuleInstance.h"
#include "support/system/UniqueHandle.h"
#include "support/text/Utf.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xf1696a96, 0x0e2f, 0x43d1, {0x81, 0x1d, 0x9f, 0x2a, 0x89, 0x6c, 0xa6, 0xdf}}};
enum class TraceEvent : uint16_t {
    ModulePathWithoutFolder = 1,
    SearchPathTooLong = 2,
    IniNotFound = 3,
    OpenFailed = 4,
    SizeUnreadable = 5,
    TooLarge = 6,
    ReadFailed = 7,
};

// The file holds three short values; anything near this size is not one.
constexpr LONGLONG kMaxIniBytes = 1 << 20;

bool IsFile(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(AsWide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

FileSearchResult LocateIsolateIni() {
    const std::wstring modulePath = CurrentModulePath();
    const size_t cut = modulePath.find_last_of(L"\\/");
    if (cut == std::wstring::npos) {
        const DWORD error = GetLastError();
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ModulePathWithoutFolder, modulePath,
              error);
        return {{}, error != ERROR_SUCCESS ? error : ERROR_INVALID_NAME};
    }
    FileSearchResult result =
        FindFileUpward(ToU16(std::wstring_view(modulePath).substr(0, cut)), u"isolate.ini", IsFile);
    if (result.error == kSearchPathTooLong)
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SearchPathTooLong, modulePath,
              result.error);
    else if (result.error != kSearchFound)
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::IniNotFound, modulePath,
              result.error);
    return result;
}

bool LoadIsolateIni(const std::u16string& path, std::u16string& text) {
    UniqueHandle file{CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::OpenFailed, path, GetLastError());
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SizeUnreadable, path, GetLastError());
        return false;
    }
    if (size.QuadPart > kMaxIniBytes) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::TooLarge, path,
              static_cast<int64_t>(size.QuadPart));
        return false;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                      &read, nullptr)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::ReadFailed, path, GetLastError());
            return false;
        }
        if (read == 0) break;  // shrank since its size was taken
        done += read;
    }
    bytes.resize(done);
    text = DecodeIniText(bytes);
    return true;
}

}  // namespace pxLib
