// A file's version resource, as Explorer and support staff read it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvdhost {

class VersionResource {
public:
    // False when the file has no readable version resource.
    [[nodiscard]] bool Load(const std::wstring& path);

    // Four dotted numbers from the fixed part.
    std::wstring FileVersion() const;
    std::wstring ProductVersion() const;
    DWORD FileType() const;  // VFT_DLL, VFT_APP, ...
    // A string of the first language the resource lists; empty when absent.
    std::wstring String(const wchar_t* name) const;

private:
    std::vector<BYTE> m_block;
    const VS_FIXEDFILEINFO* m_fixed = nullptr;
};

// The file a module was loaded from; false when it cannot be read.
[[nodiscard]] bool ModulePath(HMODULE module, std::wstring& path);

}  // namespace qvdhost
