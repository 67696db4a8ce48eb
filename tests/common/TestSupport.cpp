#include "TestSupport.h"

#ifdef _WIN32

#include "support/system/SearchOwners.h"
#include "support/system/UniqueHandle.h"
#include "support/text/WideUtf8.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <fstream>
#include <sstream>

namespace qvdtest {

std::wstring NewGuidText() {
    GUID guid{};
    if (CoCreateGuid(&guid) != S_OK) ADD_FAILURE() << "CoCreateGuid failed";
    wchar_t text[39] = {};
    StringFromGUID2(guid, text, 39);
    return text;
}

std::wstring Widen(const std::string& s) {
    return pxLib::Utf8ToWide(s);
}

std::string Narrow(const std::wstring& w) {
    return pxLib::WideToUtf8(w);
}

std::wstring AsciiUpper(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

std::wstring ShortForm(const std::wstring& path) {
    std::wstring shortPath(MAX_PATH, L'\0');
    const DWORD length =
        GetShortPathNameW(path.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    shortPath.resize(length < shortPath.size() ? length : 0);
    return shortPath;
}

std::wstring WinePath(const std::string& unixPath) {
    std::wstring p = L"Z:" + Widen(unixPath);
    for (auto& c : p)
        if (c == L'/') c = L'\\';
    return p;
}

std::wstring PluginDllPath() {
    return WinePath(QVD_TEST_PLUGIN_DLL);
}

std::wstring InstallerFixture(const wchar_t* name) {
    return WinePath(QVD_TEST_INSTALLERS_DIR) + L"\\" + name + L".exe";
}

TempDir::TempDir() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        std::wstringstream name;
        name << base << L"qvdtest-" << GetCurrentProcessId() << L"-"
             << InterlockedIncrement(&counter) << L"-" << GetTickCount();
        m_path = name.str();
        if (CreateDirectoryW(m_path.c_str(), nullptr)) break;
    }
}

namespace {
// Deletes a folder tree through "\\?\" paths, so that depth is no problem and a
// lost path can never turn into the current folder.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    const pxLib::UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (find) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find.get(), &entry));
    }
    RemoveDirectoryW(folder.c_str());
}
}  // namespace

TempDir::~TempDir() {
    if (m_path.size() > 3) RemoveTree(L"\\\\?\\" + m_path);
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileUtf8(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::wstring ReadFileWide(const std::wstring& path) {
    return Widen(ReadFileUtf8(path));
}

bool WriteFileUtf8(const std::wstring& path, const std::string& text) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

bool CopyFixture(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

std::wstring PlaceInstaller(const TempDir& dir, const wchar_t* fixture, const std::wstring& name,
                            const std::vector<std::string>& behaviour) {
    const std::wstring path = dir.file(name);
    if (!CopyFixture(InstallerFixture(fixture), path)) return {};
    std::string text;
    for (const auto& line : behaviour) text += line + "\n";
    WriteFileUtf8(path + L".behaviour", text);
    return path;
}

namespace {
void DeleteKeyTree(HKEY root, const std::wstring& path, REGSAM view) {
    pxLib::UniqueRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) == ERROR_SUCCESS)
        RegDeleteTreeW(key.get(), nullptr);
    key.reset();
    RegDeleteKeyExW(root, path.c_str(), view, 0);
}
}  // namespace

ScopedRegistryKey::ScopedRegistryKey(HKEY root, std::wstring path, REGSAM view)
    : m_root(root), m_path(std::move(path)), m_view(view) {
    DeleteKeyTree(m_root, m_path, m_view);
    pxLib::UniqueRegKey key;
    RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | m_view, nullptr,
                    key.put(), nullptr);
}

ScopedRegistryKey::~ScopedRegistryKey() {
    DeleteKeyTree(m_root, m_path, m_view);
}

namespace {
bool SetValue(HKEY root, const std::wstring& path, REGSAM view, const wchar_t* name, DWORD type,
              const void* data, DWORD size) {
    pxLib::UniqueRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE | view, key.put()) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}
}  // namespace

bool ScopedRegistryKey::SetString(const wchar_t* name, const std::wstring& value) {
    return SetValue(m_root, m_path, m_view, name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool ScopedRegistryKey::SetDword(const wchar_t* name, DWORD value) {
    return SetValue(m_root, m_path, m_view, name, REG_DWORD, &value, sizeof(value));
}

bool WaitForFile(const std::wstring& path, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!FileExists(path)) {
        if (GetTickCount64() > end) return false;
        Sleep(20);
    }
    return true;
}

}  // namespace qvdtest
#endif
