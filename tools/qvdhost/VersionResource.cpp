#include "VersionResource.h"

#include <cstdio>

namespace qvdhost {
namespace {

// Longer than any path Windows hands out, \\?\ paths included.
constexpr DWORD kMaxModulePath = 32768;
constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;

std::wstring Dotted(DWORD mostSignificant, DWORD leastSignificant) {
    wchar_t text[48];
    swprintf(text, 48, L"%u.%u.%u.%u", HIWORD(mostSignificant), LOWORD(mostSignificant),
             HIWORD(leastSignificant), LOWORD(leastSignificant));
    return text;
}

}  // namespace

bool VersionResource::Load(const std::wstring& path) {
    m_block.clear();
    m_fixed = nullptr;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
        fixedSize < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != kFixedFileInfoSignature)
        return false;
    // The fixed part points into the block, whose bytes stay put when it moves.
    m_block = std::move(block);
    m_fixed = fixed;
    return true;
}

std::wstring VersionResource::FileVersion() const {
    return m_fixed ? Dotted(m_fixed->dwFileVersionMS, m_fixed->dwFileVersionLS) : L"";
}

std::wstring VersionResource::ProductVersion() const {
    return m_fixed ? Dotted(m_fixed->dwProductVersionMS, m_fixed->dwProductVersionLS) : L"";
}

DWORD VersionResource::FileType() const {
    return m_fixed ? m_fixed->dwFileType : VFT_UNKNOWN;
}

std::wstring VersionResource::String(const wchar_t* name) const {
    if (m_block.empty()) return L"";
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    UINT size = 0;
    if (!VerQueryValueW(m_block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translations), &size) ||
        size < sizeof(Translation))
        return L"";
    wchar_t query[128];
    swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translations[0].language,
             translations[0].codePage, name);
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(m_block.data(), query, reinterpret_cast<void**>(&text), &length) ||
        length == 0)
        return L"";
    // The length may count the terminator.
    std::wstring value(text, length);
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return value;
}

bool ModulePath(HMODULE module, std::wstring& path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return false;
        if (n < buffer.size()) {
            path.assign(buffer.data(), n);
            return true;
        }
        if (buffer.size() >= kMaxModulePath) return false;
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace qvdhost
