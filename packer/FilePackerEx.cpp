// The package reader: finds the package behind the image, reads its list and
// hands out the stream at an archive.
#include "packer/FilePackerEx.h"

#include "packer/FileSystem.h"
#include "packer/PackerLog.h"
#include "packer/StreamStatus.h"
#include "support/errors/ErrorCode.h"
#include "support/errors/GuardedCall.h"
#include "support/logging/Log.h"

#include <new>

namespace ZOLT {

namespace {
const char16_t kSource[] = u"FilePackerEx";
}  // namespace

void CFilePackerEx::Reset() {
    m_stream.reset();
    m_peHelper.reset();
    m_header.reset();
    m_qwPackageOffset = 0;
    m_bHasPackage = false;
}

HRESULT CFilePackerEx::Open(const std::u16string& path) {
    return pxLib::GuardedCall(kSource, __LINE__, kHrUnexpected, [&] { return OpenPath(path); });
}

HRESULT CFilePackerEx::OpenStream(pxLib::IByteStream* stream) {
    return pxLib::GuardedCall(kSource, __LINE__, kHrUnexpected, [&] { return OpenOver(stream); });
}

HRESULT CFilePackerEx::OpenPath(const std::u16string& path) {
    Reset();
    if (path.empty()) {
        pxLib::LogError(u"ZOLT::CFilePackerEx::Open(70) : Invalid agrument\n");
        return kHrInvalidArg;
    }
    uint32_t error = 0;
    if (!IsExistingFile(path, error)) {
        pxLib::LogError(u"ZOLT::CFilePackerEx::Open(76) : Source file not found: %s\n", path);
        return pxLib::FailureFromErrorCode(error);
    }
    try {
        m_strSourcePath = path;
    } catch (const std::bad_alloc&) {
        pxLib::LogError(u"ZOLT::CFilePackerEx::Open(82) : Out of Memory\n");
        return kHrOutOfMemory;
    }
    pxLib::RefPtr<IFileStream> file;
    HRESULT hr = CreateFileStream(path, FileAccess::Read, FileDisposition::OpenExisting, file);
    ZOLT_RETURN_IF_FAILED_LOG(
        hr,
        u"ZOLT::CFilePackerEx::Open(99) : Failed to Create Stream from file %s. HRESULT 0x%08x\n",
        path);
    m_stream = pxLib::RefPtr<pxLib::IByteStream>(file.get());
    hr = InitPEHeaders();
    if (Failed(hr)) return hr;
    return ReadPackageHeader();
}

HRESULT CFilePackerEx::OpenOver(pxLib::IByteStream* stream) {
    Reset();
    m_stream = pxLib::RefPtr<pxLib::IByteStream>(stream);
    HRESULT hr = InitPEHeaders();
    if (Failed(hr)) return hr;
    return ReadPackageHeader();
}

HRESULT CFilePackerEx::InitPEHeaders() {
    if (m_peHelper) return kHrOk;
    if (!m_stream) {
        pxLib::LogError(u"ZOLT::CFilePackerEx::InitPEHeaders(989) : Invalid Stream\n");
        return kHrPointer;
    }
    std::unique_ptr<CPEFileHelper> helper(new (std::nothrow) CPEFileHelper);
    if (!helper) {
        pxLib::LogError(u"ZOLT::CFilePackerEx::InitPEHeaders(1004) : Out of Memory\n");
        return kHrOutOfMemory;
    }
    if (!helper->ReadHeaders(m_stream.get())) {
        pxLib::LogError(u"ZOLT::CFilePackerEx::InitPEHeaders(996) : Failed to read PE Headers\n");
        return kHrBadExeFormat;
    }
    m_peHelper = std::move(helper);
    return kHrOk;
}

HRESULT CFilePackerEx::ReadPackageHeader() {
    if (!m_peHelper) {
        pxLib::LogError(
            u"ZOLT::CFilePackerEx::ReadPackageHeader(883) : PE Header is not initialized\n");
        return kHrInvalidState;
    }
    const uint64_t endOfRawData = m_peHelper->GetEndOfRawData();
    if (endOfRawData == 0) return kHrBadExeFormat;

    // A file without a package still gets an empty list, so that every lookup
    // answers "not found".
    std::shared_ptr<CPackageHeader> header;
    try {
        header = std::make_shared<CPackageHeader>();
    } catch (const std::bad_alloc&) {
        return kHrOutOfMemory;
    }
    auto noPackage = [&](uint64_t offset) {
        m_header = header;
        m_qwPackageOffset = offset;
        m_bHasPackage = false;
        return kHrOk;
    };

    // The helper keeps the image within the file. A package start beyond the
    // end is where a file pointer may well stand; the read that follows would
    // find the end of the file, and so there is no package.
    uint64_t fileSize = 0;
    HRESULT hr = GetSize(m_stream.get(), fileSize);
    if (Failed(hr)) return hr;
    hr = SetPosition(m_stream.get(), endOfRawData);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::ReadPackageHeader(896) : Failed to set "
                              u"position to %d. HRESULT 0x%08x\n",
                              static_cast<uint32_t>(endOfRawData));
    uint32_t certificateLength = 0;
    hr = ReadU32(m_stream.get(), certificateLength);
    if (hr == kHrHandleEof) return noPackage(endOfRawData);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::ReadPackageHeader(907) : Failed to read "
                              u"signature size from the end of raw data. HRESULT 0x%08x\n");

    const uint64_t start = endOfRawData + (certificateLength != 0 ? certificateLength : 4u);
    if (start > fileSize) return noPackage(start);
    hr = SetPosition(m_stream.get(), start);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::ReadPackageHeader(956) : Failed to set "
                              u"position to %d. HRESULT 0x%08x\n",
                              static_cast<uint32_t>(start));
    hr = header->Deserialize(m_stream.get());
    if (Failed(hr)) {
        pxLib::LogError(u"ZOLT::CFilePackerEx::ReadPackageHeader(965) : Failed to deserialize\n");
        return hr;
    }
    m_header = std::move(header);
    m_qwPackageOffset = start;
    m_bHasPackage = hr == kHrOk;
    return kHrOk;
}

const CFilePackerEx::CArchiveInfo* CFilePackerEx::FindArchive(const std::u16string& id,
                                                              const pxLib::Guid& type) const {
    if (!m_header) return nullptr;
    for (const CArchiveInfo& archive : m_header->GetArchives())
        if (archive.GetType() == type && archive.GetId() == id) return &archive;
    return nullptr;
}

bool CFilePackerEx::HasArchive(const std::u16string& id, const pxLib::Guid& type) const {
    if (!m_stream || !m_peHelper || !m_header) {
        pxLib::LogError(u"ZOLT::CFilePackerEx::HasArchive(170) : Object is not initialized\n");
        return false;
    }
    return FindArchive(id, type) != nullptr;
}

HRESULT CFilePackerEx::ExtractStream(const std::u16string& id, const pxLib::Guid& type,
                                     pxLib::RefPtr<pxLib::IByteStream>& stream) {
    stream.reset();
    if (!m_stream || !m_peHelper || !m_header) {
        pxLib::LogError(u"ZOLT::CFilePackerEx::ExtractStream(504) : Object is not initialized\n");
        return kHrInvalidState;
    }
    const CArchiveInfo* archive = FindArchive(id, type);
    if (archive == nullptr) return kHrNotFound;
    const HRESULT hr = SetPosition(m_stream.get(), archive->GetOffset());
    if (Failed(hr)) return hr;
    stream = m_stream;
    return kHrOk;
}

}  // namespace ZOLT
