// The Win32 file stream of the package reader and the install data writer.
#include "packer/FileSystem.h"
#include "packer/StreamStatus.h"
#include "support/errors/LastError.h"
#include "support/system/SubjectFile.h"
#include "support/system/UniqueHandle.h"
#include "support/text/Utf.h"

#include <mutex>
#include <new>
#include <shlobj.h>

namespace ZOLT {
namespace {

class Win32FileStream final : public IFileStream, public IStreamStatus {
public:
    explicit Win32FileStream(HANDLE file) : m_file(file) {}

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
        return Succeeded(SizeLocked(size));
    }

    bool SetSize(uint64_t size) override {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!MoveLocked(size) || !SetEndOfFile(m_file.get()))
            return Fail(pxLib::HResultFromLastError());
        return MoveLocked(0) || Fail(pxLib::HResultFromLastError());
    }

    bool GetPosition(uint64_t& position) override {
        std::lock_guard<std::mutex> lock(m_lock);
        return Succeeded(PositionLocked(position));
    }

    bool SetPosition(uint64_t position) override {
        std::lock_guard<std::mutex> lock(m_lock);
        uint64_t size = 0;
        if (!Succeeded(SizeLocked(size))) return false;
        if (position > size) return Fail(kHrHandleEof);
        return MoveLocked(position) || Fail(pxLib::HResultFromLastError());
    }

    bool Write(const void* bytes, uint32_t count) override {
        std::lock_guard<std::mutex> lock(m_lock);
        const uint8_t* next = static_cast<const uint8_t*>(bytes);
        while (count != 0) {
            DWORD written = 0;
            if (!WriteFile(m_file.get(), next, count, &written, nullptr))
                return Fail(pxLib::HResultFromLastError());
            if (written == 0) return Fail(kHrWriteFault);
            next += written;
            count -= written;
        }
        m_lastResult = kHrOk;
        return true;
    }

    bool Read(void* bytes, uint32_t count) override {
        std::lock_guard<std::mutex> lock(m_lock);
        uint64_t size = 0, position = 0;
        if (!Succeeded(SizeLocked(size)) || !Succeeded(PositionLocked(position))) return false;
        if (position >= size ? count != 0 : count > size - position) return Fail(kHrHandleEof);
        uint8_t* next = static_cast<uint8_t*>(bytes);
        while (count != 0) {
            DWORD read = 0;
            if (!ReadFile(m_file.get(), next, count, &read, nullptr))
                return Fail(pxLib::HResultFromLastError());
            if (read == 0) return Fail(kHrHandleEof);  // the file shrank meanwhile
            next += read;
            count -= read;
        }
        m_lastResult = kHrOk;
        return true;
    }

    HRESULT Flush() override {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!FlushFileBuffers(m_file.get())) {
            Fail(pxLib::HResultFromLastError());
            return m_lastResult;
        }
        return kHrOk;
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
    bool Succeeded(HRESULT hr) {
        m_lastResult = hr;
        return !Failed(hr);
    }
    HRESULT SizeLocked(uint64_t& size) {
        LARGE_INTEGER value{};
        if (!GetFileSizeEx(m_file.get(), &value)) return pxLib::HResultFromLastError();
        size = static_cast<uint64_t>(value.QuadPart);
        return kHrOk;
    }
    HRESULT PositionLocked(uint64_t& position) {
        LARGE_INTEGER zero{}, value{};
        if (!SetFilePointerEx(m_file.get(), zero, &value, FILE_CURRENT))
            return pxLib::HResultFromLastError();
        position = static_cast<uint64_t>(value.QuadPart);
        return kHrOk;
    }
    bool MoveLocked(uint64_t position) {
        if (position > static_cast<uint64_t>(INT64_MAX)) {
            SetLastError(ERROR_NEGATIVE_SEEK);
            return false;
        }
        LARGE_INTEGER target{};
        target.QuadPart = static_cast<LONGLONG>(position);
        return SetFilePointerEx(m_file.get(), target, nullptr, FILE_BEGIN) != FALSE;
    }

    pxLib::RefCount m_refs;
    std::mutex m_lock;
    pxLib::UniqueHandle m_file;
    HRESULT m_lastResult = kHrOk;
};

bool CreateFolderOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos || separator == 0) return false;
    const std::wstring folder = path.substr(0, separator);
    const int rc = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return rc == ERROR_SUCCESS || rc == ERROR_ALREADY_EXISTS || rc == ERROR_FILE_EXISTS;
}

}  // namespace

HRESULT CreateFileStream(const std::u16string& path, FileAccess access, FileDisposition disposition,
                         pxLib::RefPtr<IFileStream>& stream) {
    stream.reset();
    if (path.empty()) return kHrInvalidArg;
    const std::wstring widePath = pxLib::ToWide(path);
    const DWORD desiredAccess = access == FileAccess::Read ? GENERIC_READ : GENERIC_WRITE;
    const DWORD creation = disposition == FileDisposition::OpenExisting ? OPEN_EXISTING
                           : disposition == FileDisposition::OpenAlways ? OPEN_ALWAYS
                                                                        : CREATE_ALWAYS;
    auto open = [&] {
        return pxLib::UniqueHandle(
            CreateFileW(widePath.c_str(), desiredAccess, FILE_SHARE_READ, nullptr, creation,
                        pxLib::kSubjectOpenFlags | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    };
    pxLib::UniqueHandle file = open();
    if (!file && ::GetLastError() == ERROR_PATH_NOT_FOUND) {
        if (disposition != FileDisposition::OpenAlways) return kHrInvalidArg;
        if (CreateFolderOf(widePath))
            file = open();
        else
            SetLastError(ERROR_PATH_NOT_FOUND);
    }
    if (!file) return pxLib::HResultFromLastError();
    Win32FileStream* created = new (std::nothrow) Win32FileStream(file.get());
    if (created == nullptr) return kHrOutOfMemory;
    file.release();
    stream = pxLib::RefPtr<IFileStream>(created);
    return kHrOk;
}

}  // namespace ZOLT
