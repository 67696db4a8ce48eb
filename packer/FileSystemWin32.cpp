// Win32 parts of the file services: look-ups, unique files and replacing moves.
#include "packer/FileSystem.h"
#include "support/errors/LastError.h"
#include "support/system/UniqueHandle.h"
#include "support/text/Utf.h"

#include <atomic>
#include <shlobj.h>
#include <string>

namespace ZOLT {

bool IsExistingFile(const std::u16string& path, uint32_t& error) {
    error = 0;
    const DWORD attributes = GetFileAttributesW(pxLib::AsWide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = ::GetLastError();
        return false;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

namespace fs_detail {

HRESULT CreateUniqueFileBeside(const std::u16string& path, std::u16string& tempPath) {
    std::u16string folder, name;
    if (!SplitPath(path, folder, name)) {
        folder.clear();
        name = path;
    } else if (folder.size() > 1) {
        const int rc = SHCreateDirectoryExW(
            nullptr, pxLib::ToWide(folder.substr(0, folder.size() - 1)).c_str(), nullptr);
        if (rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS && rc != ERROR_FILE_EXISTS)
            return pxLib::FailureFromErrorCode(static_cast<uint32_t>(rc));
    }
    static std::atomic<uint32_t> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring candidate = pxLib::ToWide(folder) + L"~" + pxLib::ToWide(name) + L"." +
                                       std::to_wstring(GetCurrentProcessId()) + L"." +
                                       std::to_wstring(++counter) + L".tmp";
        pxLib::UniqueHandle file(CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr,
                                             CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            tempPath = pxLib::ToU16(candidate);
            return kHrOk;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return pxLib::FailureFromErrorCode(error);
    }
    return pxLib::FailureFromErrorCode(ERROR_FILE_EXISTS);
}

HRESULT MoveReplacing(const std::u16string& from, const std::u16string& to) {
    if (MoveFileExW(pxLib::AsWide(from), pxLib::AsWide(to),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return kHrOk;
    return pxLib::HResultFromLastError();
}

void RemoveFile(const std::u16string& path) {
    DeleteFileW(pxLib::AsWide(path));
}

}  // namespace fs_detail
}  // namespace ZOLT
