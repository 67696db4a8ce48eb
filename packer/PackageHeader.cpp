// The package header: magic, version and the list of records, then the
// archives' offsets, which the file does not store.
#include "packer/FilePackerEx.h"
#include "packer/PackerLog.h"
#include "packer/StreamStatus.h"
#include "support/logging/Log.h"

#include <new>

namespace ZOLT {
namespace {

// The fewest bytes a record takes in the file, with an empty id: a current
// record (id length, size, type) and the end marker behind its archive; a
// legacy record (its three elements: a tag byte before the id's length, the
// size and the legacy type).
constexpr uint64_t kMinCurrentRecordBytes =
    sizeof(uint32_t) + sizeof(uint32_t) + sizeof(pxLib::Guid) + sizeof(kArchiveEndMarker);
constexpr uint64_t kMinLegacyRecordBytes =
    (1 + sizeof(uint32_t)) + (1 + sizeof(uint64_t)) + (1 + sizeof(uint32_t));

// A count of records that the rest of the stream cannot hold ends at the end
// of the file, as reading them would, but before a record is read; a count
// above the ceiling is no package of ours, however large the file.
HRESULT CheckArchiveCount(pxLib::IByteStream* stream, uint64_t count, uint64_t minRecordBytes) {
    if (count > BytesLeft(stream) / minRecordBytes) return kHrHandleEof;
    if (count > kMaxArchiveCount) return kHrBadFormat;
    return kHrOk;
}

}  // namespace

bool CFilePackerEx::CPackageHeader::Serialize(pxLib::IByteStream* stream) const {
    HRESULT hr = WriteU32(stream, kPackageMagic);
    if (Failed(hr)) {
        pxLib::LogError(
            u"ZOLT::CFilePackerEx::CPackageHeader::Serialize(25) : Failed to write magic value. "
            u"HRESULT 0x%08x\n",
            hr);
        return false;
    }
    hr = WriteU32(stream, kPackageVersion);
    if (Failed(hr)) {
        pxLib::LogError(
            u"ZOLT::CFilePackerEx::CPackageHeader::Serialize(31) : Failed to write package "
            u"version. HRESULT 0x%08x\n",
            hr);
        return false;
    }
    hr = m_archives.size() > UINT32_MAX
             ? kHrInvalidArg
             : WriteU32(stream, static_cast<uint32_t>(m_archives.size()));
    if (Failed(hr)) {
        pxLib::LogError(
            u"ZOLT::CFilePackerEx::CPackageHeader::Serialize(38) : Failed to write archives "
            u"count. HRESULT 0x%08x\n",
            hr);
        return false;
    }
    for (const CArchiveInfo& archive : m_archives)
        if (Failed(archive.Serialize(stream))) return false;
    return true;
}

HRESULT CFilePackerEx::CPackageHeader::Deserialize(pxLib::IByteStream* stream) {
    m_archives.clear();
    uint64_t position = 0;
    HRESULT hr = GetPosition(stream, position);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(65) : Failed to "
                              u"get position. HRESULT 0x%08x\n");
    uint32_t magic = 0;
    hr = ReadU32(stream, magic);
    if (hr == kHrHandleEof) return kHrFalse;
    if (Failed(hr)) return hr;
    if (magic != kPackageMagic) return kHrBadFormat;

    hr = ReadU32(stream, m_dwVersion);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(88) : Read "
                              u"package version failed. HRESULT 0x%08x\n");
    if (m_dwVersion > kPackageVersion) {
        pxLib::LogError(
            u"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(93) : Invalid package version %d. "
            u"Current version is %d\n",
            m_dwVersion, kPackageVersion);
        return kHrBadVersion;
    }

    const bool legacy = m_dwVersion < kPackageVersion;
    uint64_t count = 0;
    if (legacy) {
        hr = ReadU64(stream, count);
        ZOLT_RETURN_IF_FAILED_LOG(hr,
                                  u"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(106) : Read "
                                  u"legacy number of archives failed. HRESULT 0x%08x\n");
        uint32_t recordsSize = 0;
        hr = ReadU32(stream, recordsSize);
        ZOLT_RETURN_IF_FAILED_LOG(hr,
                                  u"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(114) : Read "
                                  u"legacy size of archives info failed. HRESULT 0x%08x\n");
    } else {
        uint32_t currentCount = 0;
        hr = ReadU32(stream, currentCount);
        count = currentCount;
        ZOLT_RETURN_IF_FAILED_LOG(hr,
                                  u"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(128) : Read "
                                  u"number of archives failed. HRESULT 0x%08x\n");
    }

    hr = CheckArchiveCount(stream, count, legacy ? kMinLegacyRecordBytes : kMinCurrentRecordBytes);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(135) : Invalid "
                              u"number of archives %llu. HRESULT 0x%08x\n",
                              count);
    for (uint64_t i = 0; i < count; ++i) {
        CArchiveInfo record;
        hr = legacy ? record.Deserialize_legacy(stream) : record.Deserialize(stream);
        if (Failed(hr)) return hr;
        try {
            m_archives.push_back(std::move(record));
        } catch (const std::bad_alloc&) {
            return kHrOutOfMemory;
        }
    }

    uint64_t next = 0;
    hr = GetPosition(stream, next);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(150) : Failed to "
                              u"get position. HRESULT 0x%08x\n");
    for (CArchiveInfo& record : m_archives) {
        record.SetOffset(next);
        next += record.GetSize();
        if (legacy) continue;
        hr = SetPosition(stream, next);
        ZOLT_RETURN_IF_FAILED_LOG(hr,
                                  u"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(169) : Failed "
                                  u"to set position to %d. HRESULT 0x%08x\n",
                                  static_cast<uint32_t>(next));
        uint32_t marker = 0;
        hr = ReadU32(stream, marker);
        ZOLT_RETURN_IF_FAILED_LOG(hr,
                                  u"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(176) : Failed "
                                  u"to read stream. HRESULT 0x%08x\n");
        if (marker != kArchiveEndMarker) {
            pxLib::LogError(
                u"ZOLT::CFilePackerEx::CPackageHeader::Deserialize(181) : Package is corrupted\n");
            return kHrBadFormat;
        }
        next += sizeof(marker);
    }
    return kHrOk;
}

}  // namespace ZOLT
