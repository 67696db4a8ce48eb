// The file stream of the native build (POSIX descriptors), with the Win32
// stream's rules: end-of-file reads fail with 0x80070026, OpenAlways creates
// missing folders, results are reported as the matching Win32 errors.
#include "packer/FileSystem.h"
#include "packer/PosixErrors.h"
#include "packer/StreamStatus.h"
#include "support/text/Utf.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <new>

namespace ZOLT {
namespace {

class PosixFileStream final : public IFileStream, public IStreamStatus {
public:
    explicit PosixFileStream(int fd) : m_fd(fd) {}
    ~PosixFileStream() { ::close(m_fd); }

    pxLib::OBJRESULT QueryInterface(const pxLib::Guid& iid, void** out) override {
        if (out == nullptr) return pxLib::OBJ_E_INVALIDARG;
        if (iid == pxLib::IID_IRefObject || iid == pxLib::IID_IByteStream ||
            iid == IID_IFileStream) {
            *out = static_cast<IFileStream*>(this);
        } else if (iid == IID_IStreamStatus) {
            *out = static_cast<IStreamStatus*>(this);
        } else {
            *out = nullptr;
            return pxLib::OBJ_E_NOINTERFACE;
        }
        AddRef();
        return pxLib::OBJ_OK;
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }

    bool GetSize(uint64_t& size) override {
        std::lock_guard<std::mutex> lock(m_lock);
        return SizeLocked(size);
    }
    bool SetSize(uint64_t size) override {
        std::lock_guard<std::mutex> lock(m_lock);
        if (size > static_cast<uint64_t>(INT64_MAX) ||
            ::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
            return Fail(FromErrno(errno));
        m_position = 0;
        m_lastResult = kHrOk;
        return true;
    }
    bool GetPosition(uint64_t& position) override {
        std::lock_guard<std::mutex> lock(m_lock);
        position = m_position;
        m_lastResult = kHrOk;
        return true;
    }
    bool SetPosition(uint64_t position) override {
        std::lock_guard<std::mutex> lock(m_lock);
        uint64_t size = 0;
        if (!SizeLocked(size)) return false;
        if (position > size) return Fail(kHrHandleEof);
        m_position = position;
        return true;
    }
    bool Write(const void* bytes, uint32_t count) override {
        std::lock_guard<std::mutex> lock(m_lock);
        const uint8_t* next = static_cast<const uint8_t*>(bytes);
        while (count != 0) {
            const ssize_t written = ::pwrite(m_fd, next, count, static_cast<off_t>(m_position));
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return Fail(written < 0 ? FromErrno(errno) : kHrWriteFault);
            next += written;
            count -= static_cast<uint32_t>(written);
            m_position += static_cast<uint64_t>(written);
        }
        m_lastResult = kHrOk;
        return true;
    }
    bool Read(void* bytes, uint32_t count) override {
        std::lock_guard<std::mutex> lock(m_lock);
        uint64_t size = 0;
        if (!SizeLocked(size)) return false;
        if (m_position >= size ? count != 0 : count > size - m_position) return Fail(kHrHandleEof);
        uint8_t* next = static_cast<uint8_t*>(bytes);
        uint64_t position = m_position;
        while (count != 0) {
            const ssize_t read = ::pread(m_fd, next, count, static_cast<off_t>(position));
            if (read < 0 && errno == EINTR) continue;
            if (read < 0) return Fail(FromErrno(errno));
            if (read == 0) return Fail(kHrHandleEof);  // the file shrank meanwhile
            next += read;
            count -= static_cast<uint32_t>(read);
            position += static_cast<uint64_t>(read);
        }
        m_position = position;
        m_lastResult = kHrOk;
        return true;
    }
    HRESULT Flush() override {
        std::lock_guard<std::mutex> lock(m_lock);
        if (::fsync(m_fd) != 0)
            Fail(FromErrno(errno));
        else
            m_lastResult = kHrOk;
        return m_lastResult;
    }
    HRESULT GetLastResult() override {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_lastResult;
    }

private:
    bool Fail(HRESULT hr) {
        m_lastResult = hr;
        return false;
    }
    bool SizeLocked(uint64_t& size) {
        struct stat info {};
        if (::fstat(m_fd, &info) != 0) return Fail(FromErrno(errno));
        size = static_cast<uint64_t>(info.st_size);
        m_lastResult = kHrOk;
        return true;
    }

    pxLib::RefCount m_refs;
    std::mutex m_lock;
    int m_fd;
    uint64_t m_position = 0;
    HRESULT m_lastResult = kHrOk;
};

}  // namespace

HRESULT CreateFileStream(const std::u16string& path, FileAccess access, FileDisposition disposition,
                         pxLib::RefPtr<IFileStream>& stream) {
    stream.reset();
    if (path.empty()) return kHrInvalidArg;
    const std::string native = NativePath(path);
    int flags = (access == FileAccess::Read ? O_RDONLY : O_WRONLY) | O_CLOEXEC;
    if (disposition == FileDisposition::OpenAlways) flags |= O_CREAT;
    if (disposition == FileDisposition::CreateAlways) flags |= O_CREAT | O_TRUNC;
    auto open = [&] { return ::open(native.c_str(), flags, 0644); };
    int fd = open();
    if (fd < 0 && errno == ENOENT && !FolderOfExists(native)) {
        if (disposition != FileDisposition::OpenAlways) return kHrInvalidArg;
        if (CreateFolderOf(native))
            fd = open();
        else
            errno = ENOENT;
    }
    if (fd < 0) return FromErrno(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return pxLib::FailureFromErrorCode(5);  // ERROR_ACCESS_DENIED, as for a folder on Windows
    }
    PosixFileStream* created = new (std::nothrow) PosixFileStream(fd);
    if (created == nullptr) {
        ::close(fd);
        return kHrOutOfMemory;
    }
    stream = pxLib::RefPtr<IFileStream>(created);
    return kHrOk;
}

}  // namespace ZOLT
