// Helpers shared by the test programs.
#pragma once

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <vector>

#include "TestPaths.h"

namespace qvdtest {

// The plug-in's exit code before any installer ended (E_UNEXPECTED), which
// hosts read through GetExitCode and qvdhost prints.
constexpr uint32_t kExitCodeNotKnown = 0x8000FFFF;

// A Unix path of the build as Windows programs under Wine see it (drive Z:).
std::wstring WinePath(const std::string& unixPath);

// The build's plug-in DLL and fixture files.
std::wstring PluginDllPath();
std::wstring InstallerFixture(const wchar_t* name);  // "maker", "other", "unsigned", ...

// A fresh folder under the temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& path() const { return m_path; }
    std::wstring file(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

bool FileExists(const std::wstring& path);
std::string ReadFileUtf8(const std::wstring& path);
std::wstring ReadFileWide(const std::wstring& path);  // UTF-8 file into UTF-16
bool WriteFileUtf8(const std::wstring& path, const std::string& text);
bool CopyFixture(const std::wstring& from, const std::wstring& to);

// Copies a signed fake installer into dir as name and writes its behaviour file.
std::wstring PlaceInstaller(const TempDir& dir, const wchar_t* fixture, const std::wstring& name,
                            const std::vector<std::string>& behaviour);

// A registry key removed (with its subtree) when the object goes, in the given view.
class ScopedRegistryKey {
public:
    ScopedRegistryKey(HKEY root, std::wstring path, REGSAM view = KEY_WOW64_64KEY);
    ~ScopedRegistryKey();
    ScopedRegistryKey(const ScopedRegistryKey&) = delete;
    ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;
    bool SetString(const wchar_t* name, const std::wstring& value);
    bool SetDword(const wchar_t* name, DWORD value);
    const std::wstring& path() const { return m_path; }

private:
    HKEY m_root;
    std::wstring m_path;
    REGSAM m_view;
};

// A fresh GUID in braces, upper case: a silo or any name no other run uses.
std::wstring NewGuidText();

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);
// ASCII letters in upper case, other characters as they are.
std::wstring AsciiUpper(std::wstring text);
// The 8.3 form of an existing path (GetShortPathNameW); empty when it has none.
std::wstring ShortForm(const std::wstring& path);

// Waits up to timeoutMs for a file to appear.
bool WaitForFile(const std::wstring& path, DWORD timeoutMs);

}  // namespace qvdtest
#endif
