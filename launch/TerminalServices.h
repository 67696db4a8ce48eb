// The terminal-services library, loaded by its full path in the system folder
// so that no copy of it elsewhere on the search path is ever taken.
#pragma once

#include <windows.h>
#include <wtsapi32.h>

#include "support/system/UniqueHandle.h"

#include <string>

namespace qvd::launch {

// The system folder joined with name; empty when the folder cannot be read.
std::wstring SystemLibraryPath(const wchar_t* name);

class TerminalServices {
public:
    TerminalServices();
    TerminalServices(const TerminalServices&) = delete;
    TerminalServices& operator=(const TerminalServices&) = delete;

    // Each is null when the library or that export is missing.
    decltype(&WTSEnumerateSessionsW) enumerateSessions = nullptr;
    decltype(&WTSFreeMemory) freeMemory = nullptr;
    decltype(&WTSQueryUserToken) queryUserToken = nullptr;
    decltype(&WTSQuerySessionInformationW) querySessionInformation = nullptr;

private:
    pxLib::UniqueLibrary m_library;
};

// Memory the library handed out, given back to it with WTSFreeMemory.
class TerminalServicesMemory {
public:
    explicit TerminalServicesMemory(const TerminalServices& library) : m_library(library) {}
    ~TerminalServicesMemory() {
        if (m_memory && m_library.freeMemory) m_library.freeMemory(m_memory);
    }
    TerminalServicesMemory(const TerminalServicesMemory&) = delete;
    TerminalServicesMemory& operator=(const TerminalServicesMemory&) = delete;

    template <class T>
    T* as() const {
        return static_cast<T*>(m_memory);
    }
    // For the out-parameter of a listing or query call, typed as it asks.
    template <class T>
    T** put() {
        return reinterpret_cast<T**>(&m_memory);
    }

private:
    const TerminalServices& m_library;
    void* m_memory = nullptr;
};

}  // namespace qvd::launch
