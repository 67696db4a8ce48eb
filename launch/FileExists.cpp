#include "launch/FileExists.h"

namespace qvd::launch {

HRESULT FileExists(const std::wstring& path) {
    if (path.empty()) return E_INVALIDARG;
    std::wstring tested = path;
    if (path.size() >= 2 && path[0] != L'\\' && path[1] != L'\\') tested = L"\\\\?\\" + path;
    return GetFileAttributesW(tested.c_str()) == INVALID_FILE_ATTRIBUTES ? kPathNotFound : S_OK;
}

}  // namespace qvd::launch
