#include "support/system/FileIdentity.h"

#include "support/system/SubjectFile.h"
#include "support/system/UniqueHandle.h"

#include <cstring>

namespace pxLib {
namespace {

struct FileIdentity {
    ULONGLONG volume = 0;
    FILE_ID_128 id{};
};

// The 128-bit id where the file system has one, else the classic 64-bit one.
bool IdentityOf(HANDLE file, FileIdentity& identity) {
    FILE_ID_INFO info{};
    if (GetFileInformationByHandleEx(file, FileIdInfo, &info, sizeof(info))) {
        identity.volume = info.VolumeSerialNumber;
        identity.id = info.FileId;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION classic{};
    if (!GetFileInformationByHandle(file, &classic)) return false;
    identity.volume = classic.dwVolumeSerialNumber;
    const ULONGLONG index = (ULONGLONG{classic.nFileIndexHigh} << 32) | classic.nFileIndexLow;
    std::memcpy(identity.id.Identifier, &index, sizeof(index));
    return true;
}

}  // namespace

bool PathNamesHeldFile(const std::wstring& path, HANDLE held) {
    const UniqueHandle named(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, kSubjectOpenFlags, nullptr));
    if (!named) return false;
    FileIdentity heldIdentity, namedIdentity;
    // Both the same way: a file system with 128-bit ids answers for both.
    if (!IdentityOf(held, heldIdentity) || !IdentityOf(named.get(), namedIdentity)) return false;
    if (heldIdentity.volume == namedIdentity.volume &&
        std::memcmp(&heldIdentity.id, &namedIdentity.id, sizeof(FILE_ID_128)) == 0)
        return true;
    SetLastError(ERROR_FILE_INVALID);
    return false;
}

}  // namespace pxLib
