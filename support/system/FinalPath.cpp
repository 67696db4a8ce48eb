#include "support/system/FinalPath.h"

#include <vector>

namespace pxLib {
namespace {

constexpr DWORD kLongestPath = 32768;
constexpr wchar_t kLocalPrefix[] = L"\\\\?\\";
constexpr wchar_t kUncPrefix[] = L"\\\\?\\UNC\\";

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

}  // namespace

bool FinalPathOf(HANDLE file, std::wstring& path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return false;
        if (length < buffer.size()) {
            path.assign(buffer.data(), length);
            break;
        }
        // Too small: length is the size needed, terminator included.
        if (length > kLongestPath) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        buffer.resize(static_cast<size_t>(length) + 1);
    }
    if (StartsWith(path, kUncPrefix))
        path = L"\\\\" + path.substr(wcslen(kUncPrefix));
    else if (StartsWith(path, kLocalPrefix))
        path.erase(0, wcslen(kLocalPrefix));
    return true;
}

}  // namespace pxLib
