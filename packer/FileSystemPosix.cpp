// POSIX parts of the file services for the native build.
#include "packer/FileSystem.h"
#include "packer/PosixErrors.h"
#include "support/text/Utf.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace ZOLT {

HRESULT FromErrno(int error) {
    switch (error) {
        case 0:
            return kHrUnexpected;
        case ENOENT:
            return pxLib::FailureFromErrorCode(2);  // ERROR_FILE_NOT_FOUND
        case ENOTDIR:
            return pxLib::FailureFromErrorCode(3);  // ERROR_PATH_NOT_FOUND
        case EACCES:
        case EPERM:
        case EISDIR:
            return pxLib::FailureFromErrorCode(5);  // ERROR_ACCESS_DENIED
        case ENOMEM:
            return kHrOutOfMemory;
        case EEXIST:
            return pxLib::FailureFromErrorCode(80);  // ERROR_FILE_EXISTS
        case ENOSPC:
            return pxLib::FailureFromErrorCode(112);  // ERROR_DISK_FULL
        case ENAMETOOLONG:
            return pxLib::FailureFromErrorCode(206);
        default:
            return kHrFail;
    }
}

std::string NativePath(const std::u16string& path) {
    return pxLib::Utf16ToUtf8(path);
}

namespace {
std::string FolderPart(const std::string& path) {
    const size_t separator = path.find_last_of('/');
    if (separator == std::string::npos) return ".";
    return separator == 0 ? "/" : path.substr(0, separator);
}
}  // namespace

bool FolderOfExists(const std::string& path) {
    struct stat info {};
    return ::stat(FolderPart(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool CreateFolderOf(const std::string& path) {
    const std::string folder = FolderPart(path);
    for (size_t next = 1; next <= folder.size(); ++next) {
        if (next != folder.size() && folder[next] != '/') continue;
        const std::string part = folder.substr(0, next);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsExistingFile(const std::u16string& path, uint32_t& error) {
    error = 0;
    struct stat info {};
    if (::stat(NativePath(path).c_str(), &info) != 0) {
        error = static_cast<uint32_t>(FromErrno(errno)) & 0xFFFF;
        return false;
    }
    return !S_ISDIR(info.st_mode);
}

namespace fs_detail {

HRESULT CreateUniqueFileBeside(const std::u16string& path, std::u16string& tempPath) {
    const std::string native = NativePath(path);
    if (!FolderOfExists(native) && !CreateFolderOf(native)) return FromErrno(errno);
    const size_t separator = native.find_last_of('/');
    const std::string folder =
        separator == std::string::npos ? "" : native.substr(0, separator + 1);
    const std::string name = separator == std::string::npos ? native : native.substr(separator + 1);
    static std::atomic<uint32_t> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + "~" + name + "." + std::to_string(::getpid()) + "." +
                                      std::to_string(++counter) + ".tmp";
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            tempPath = pxLib::Utf8ToUtf16(candidate);
            return kHrOk;
        }
        if (errno != EEXIST) return FromErrno(errno);
    }
    return FromErrno(EEXIST);
}

HRESULT MoveReplacing(const std::u16string& from, const std::u16string& to) {
    if (::rename(NativePath(from).c_str(), NativePath(to).c_str()) != 0) return FromErrno(errno);
    // The move itself lasts only once the folder's entry is on the disk.
    std::string folder = NativePath(to);
    const size_t separator = folder.find_last_of('/');
    folder = separator == std::string::npos ? "." : folder.substr(0, separator + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return kHrOk;
}

void RemoveFile(const std::u16string& path) {
    ::unlink(NativePath(path).c_str());
}

}  // namespace fs_detail
}  // namespace ZOLT
