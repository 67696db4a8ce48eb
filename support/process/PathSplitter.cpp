#include "support/process/PathSplitter.h"

#include <windows.h>

namespace pxLib {
namespace {

// A path can grow between the length query and the conversion only so often.
constexpr int kLongPathAttempts = 4;

}  // namespace

std::wstring ConvertToLongPath(const std::wstring& path) {
    std::wstring longPath;
    DWORD needed = GetLongPathNameW(path.c_str(), nullptr, 0);
    for (int attempt = 0; attempt < kLongPathAttempts && needed != 0; ++attempt) {
        longPath.assign(needed, L'\0');
        const DWORD length = GetLongPathNameW(path.c_str(), longPath.data(), needed);
        if (length == 0) break;
        if (length < needed) {
            longPath.resize(length);
            return longPath;
        }
        needed = length;
    }
    return {};
}

std::wstring LongPathForm(const std::wstring& path) {
    std::wstring longPath = ConvertToLongPath(path);
    return longPath.empty() ? path : longPath;
}

std::wstring NormalisedDirectory(const std::wstring& directory) {
    std::wstring text = directory;
    for (wchar_t& c : text)
        if (c == L'/') c = L'\\';
    text = LongPathForm(text);
    const size_t end = text.find_last_not_of(L'\\');
    return (end == std::wstring::npos ? std::wstring() : text.substr(0, end + 1)) + L'\\';
}

PathParts SplitPath(const std::wstring& path) {
    PathParts parts;
    const size_t separator = path.find_last_of(L"\\/");
    std::wstring directory;
    if (separator != std::wstring::npos) {
        directory = path.substr(0, separator + 1);
        parts.fileName = path.substr(separator + 1);
    } else if (path.size() >= 2 && path[1] == L':') {
        directory = path.substr(0, 2);
        parts.fileName = path.substr(2);
    } else {
        parts.fileName = path;
    }
    if (!directory.empty()) parts.directory = NormalisedDirectory(directory);
    return parts;
}

}  // namespace pxLib
