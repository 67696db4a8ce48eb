#include "launch/TerminalServices.h"

#include "support/logging/Trace.h"

namespace qvd::launch {
namespace {

const pxLib::TraceSource kTraceSource{
    {0x5d1c7a90, 0x2be4, 0x4c61, {0x9f, 0x03, 0x7e, 0x48, 0xa2, 0x1d, 0xc6, 0x5b}}};
enum class TraceEvent : uint16_t { SystemFolderUnreadable = 1, LibraryMissing };

template <class Fn>
Fn Export(HMODULE library, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

std::wstring SystemLibraryPath(const wchar_t* name) {
    std::wstring folder(MAX_PATH, L'\0');
    UINT length = GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (length >= folder.size()) {
        folder.resize(length);
        length = GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    }
    if (length == 0 || length >= folder.size()) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::SystemFolderUnreadable,
                     GetLastError());
        return {};
    }
    folder.resize(length);
    if (folder.back() != L'\\') folder += L'\\';
    return folder + name;
}

TerminalServices::TerminalServices() {
    const std::wstring path = SystemLibraryPath(L"Wtsapi32.dll");
    if (path.empty()) return;
    m_library.reset(LoadLibraryExW(path.c_str(), nullptr, 0));
    if (!m_library) {
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, TraceEvent::LibraryMissing, path,
                     GetLastError());
        return;
    }
    enumerateSessions =
        Export<decltype(enumerateSessions)>(m_library.get(), "WTSEnumerateSessionsW");
    freeMemory = Export<decltype(freeMemory)>(m_library.get(), "WTSFreeMemory");
    queryUserToken = Export<decltype(queryUserToken)>(m_library.get(), "WTSQueryUserToken");
    querySessionInformation =
        Export<decltype(querySessionInformation)>(m_library.get(), "WTSQuerySessionInformationW");
}

}  // namespace qvd::launch
