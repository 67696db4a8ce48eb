// The archive records of the package list: the current form (read and
// written) and the legacy form of versions 0 to 4 (read only).
#include "collections/archive/Archive.h"
#include "packer/FilePackerEx.h"
#include "packer/PackerLog.h"
#include "packer/StreamStatus.h"
#include "support/logging/Log.h"

#include <climits>
#include <new>
#include <vector>

namespace ZOLT {
namespace {

constexpr pxLib::Guid kLegacyTypes[] = {
    {0x9A44111C, 0xA2AF, 0x4E8E, {0x9C, 0xD4, 0x69, 0x72, 0x51, 0x03, 0x50, 0xD2}},
    {0xC778D87B, 0x1C49, 0x4171, {0x82, 0x42, 0x4F, 0xE9, 0x3B, 0x6B, 0x33, 0xD5}},
    {0xEB5654DC, 0x1A46, 0x4B35, {0x93, 0x59, 0x4B, 0xD2, 0x6D, 0x90, 0x19, 0x3B}},
    {0x647FF89C, 0xCD63, 0x4CAD, {0xB1, 0xE2, 0xDB, 0x9C, 0x2C, 0x28, 0x2D, 0xCC}},
    {0x79810F9A, 0xFC76, 0x4008, {0x8F, 0xAC, 0xC7, 0x74, 0xA7, 0xDA, 0x7D, 0x99}},
    {0x72C8A6CB, 0x3E8C, 0x4F52, {0x95, 0x0D, 0xB9, 0xED, 0x08, 0xE1, 0xDA, 0x7B}},
    {0xEF7A5DEB, 0xAD06, 0x4F70, {0x9E, 0x6E, 0xC4, 0x6B, 0x14, 0x50, 0xE2, 0x07}},
    {0x0F25C383, 0x3C18, 0x4680, {0xBE, 0xAE, 0x4E, 0x67, 0x60, 0xDD, 0xBD, 0x92}},
    {0x09E8A2EA, 0xE4F2, 0x481D, {0xB9, 0x80, 0x81, 0x7C, 0x64, 0x2E, 0x5C, 0xE4}},
    {0xF0E37E81, 0x579E, 0x4894, {0x99, 0x11, 0x5B, 0x9F, 0x83, 0x8D, 0xDF, 0x9C}},
};
constexpr uint32_t kLegacyTypeCount = sizeof(kLegacyTypes) / sizeof(kLegacyTypes[0]);

// Whether a field of count units (bytes in all) may be allocated: a count
// beyond a signed 32-bit number is a malformed record, bytes beyond those left
// in the stream are the end of the file.
HRESULT CheckFieldLength(pxLib::IByteStream* stream, uint64_t count, uint64_t bytes) {
    if (count > INT32_MAX) return kHrBadFormat;
    if (bytes > BytesLeft(stream)) return kHrHandleEof;
    return kHrOk;
}

HRESULT ReadTag(pxLib::IByteStream* stream, uint8_t& tag) {
    return ReadExact(stream, &tag, 1);
}

}  // namespace

bool LegacyArchiveType(uint32_t legacyType, pxLib::Guid& type) {
    if (legacyType >= kLegacyTypeCount) return false;
    type = kLegacyTypes[legacyType];
    return true;
}

HRESULT CFilePackerEx::CArchiveInfo::Serialize(pxLib::IByteStream* stream) const {
    uint64_t position = 0;
    HRESULT hr = GetPosition(stream, position);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Serialize(434) : Failed to get "
                              u"position. HRESULT 0x%08x\n");
    if (m_strId.size() > INT32_MAX / 2) {
        hr = kHrInvalidArg;
    } else {
        hr = WriteU32(stream, static_cast<uint32_t>(m_strId.size()));
    }
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Serialize(443) : Failed to "
                              u"write length of id. HRESULT 0x%08x\n");
    hr = m_strId.empty() ? kHrInvalidArg
                         : WriteExact(stream, m_strId.data(),
                                      static_cast<uint32_t>(m_strId.size() * sizeof(char16_t)));
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Serialize(450) : Failed to "
                              u"write size of archive. HRESULT 0x%08x\n");
    hr = WriteU32(stream, m_dwSize);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Serialize(457) : Failed to "
                              u"write size of archive. HRESULT 0x%08x\n");
    hr = WriteExact(stream, &m_type, sizeof(m_type));
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Serialize(464) : Failed to "
                              u"write type of archive. HRESULT 0x%08x\n");
    return kHrOk;
}

HRESULT CFilePackerEx::CArchiveInfo::Deserialize(pxLib::IByteStream* stream) {
    uint64_t position = 0;
    HRESULT hr = GetPosition(stream, position);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize(478) : Failed to "
                              u"get position. HRESULT 0x%08x\n");
    uint32_t idLength = 0;
    hr = ReadU32(stream, idLength);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize(487) : Failed to "
                              u"read id size. HRESULT 0x%08x\n");
    const uint64_t idBytes = uint64_t{idLength} * sizeof(char16_t);
    hr = CheckFieldLength(stream, idLength, idBytes);
    if (!Failed(hr)) {
        try {
            m_strId.assign(idLength, u'\0');
            hr = ReadExact(stream, m_strId.data(), static_cast<uint32_t>(idBytes));
        } catch (const std::bad_alloc&) {
            hr = kHrOutOfMemory;
        }
    }
    if (Failed(hr)) {
        m_strId.clear();
        pxLib::LogError(
            u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize(493) : Failed to read archive id. "
            u"HRESULT 0x%08x\n",
            hr);
        return hr;
    }
    hr = ReadU32(stream, m_dwSize);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize(499) : Failed to "
                              u"read archive size. HRESULT 0x%08x\n");
    hr = ReadExact(stream, &m_type, sizeof(m_type));
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize(505) : Failed to "
                              u"archive type. HRESULT 0x%08x\n");
    return kHrOk;
}

HRESULT CFilePackerEx::CArchiveInfo::Deserialize_legacy(pxLib::IByteStream* stream) {
    uint8_t tag = 0;
    HRESULT hr = ReadTag(stream, tag);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(538) : Read "
                              u"fiels 1 failed. HRESULT 0x%08x\n");
    if (tag != pxLib::CArchive::TagByte(pxLib::CArchive::Tag::eWStringData)) {
        pxLib::LogError(
            u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(543) : Unexpected type value: "
            u"Expected 0x%02x (pxLib::CArchive::eWStringData), actual 0x%02x\n",
            static_cast<uint32_t>(pxLib::CArchive::Tag::eWStringData), static_cast<uint32_t>(tag));
        return kHrBadFormat;
    }
    uint32_t idBytes = 0;
    hr = ReadU32(stream, idBytes);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(551) : Read "
                              u"fiels 2 failed. HRESULT 0x%08x\n");
    std::vector<uint8_t> idBuffer;
    hr = CheckFieldLength(stream, idBytes, idBytes);
    if (!Failed(hr)) {
        try {
            idBuffer.resize(idBytes);
        } catch (const std::bad_alloc&) {
            pxLib::LogError(
                u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(571) : Out of Memory\n");
            return kHrOutOfMemory;
        }
        hr = ReadExact(stream, idBuffer.data(), idBytes);
    }
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(564) : Read "
                              u"fiels 3 failed. HRESULT 0x%08x\n");
    // The id is the text up to its first NUL within those bytes.
    try {
        m_strId.clear();
        for (size_t i = 0; i + 1 < idBuffer.size(); i += 2) {
            const char16_t unit = static_cast<char16_t>(idBuffer[i] | (idBuffer[i + 1] << 8));
            if (unit == u'\0') break;
            m_strId.push_back(unit);
        }
    } catch (const std::bad_alloc&) {
        pxLib::LogError(
            u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(571) : Out of Memory\n");
        return kHrOutOfMemory;
    }

    hr = ReadTag(stream, tag);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(580) : Read "
                              u"fiels 4 failed. HRESULT 0x%08x\n");
    if (tag != pxLib::CArchive::TagByte(pxLib::CArchive::Tag::UInt64Data)) {
        // The line names the string tag although tag 4 is expected; it stays as
        // readers of the log know it.
        pxLib::LogError(
            u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(585) : Unexpected type value: "
            u"Expected 0x%02x (pxLib::CArchive::eWStringData), actual 0x%02x\n",
            static_cast<uint32_t>(pxLib::CArchive::Tag::UInt64Data), static_cast<uint32_t>(tag));
        return kHrBadFormat;
    }
    uint64_t size = 0;
    hr = ReadU64(stream, size);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(593) : Read "
                              u"fiels 5 failed. HRESULT 0x%08x\n");
    m_dwSize = static_cast<uint32_t>(size);

    hr = ReadTag(stream, tag);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(604) : Read "
                              u"fiels 6 failed. HRESULT 0x%08x\n");
    if (tag != pxLib::CArchive::TagByte(pxLib::CArchive::Tag::eUInt32Data)) {
        pxLib::LogError(
            u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(609) : Unexpected type value: "
            u"Expected 0x%02x (pxLib::CArchive::eUInt32Data), actual 0x%02x\n",
            static_cast<uint32_t>(pxLib::CArchive::Tag::eUInt32Data), static_cast<uint32_t>(tag));
        return kHrBadFormat;
    }
    uint32_t legacyType = 0;
    hr = ReadU32(stream, legacyType);
    ZOLT_RETURN_IF_FAILED_LOG(hr,
                              u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(617) : Read "
                              u"fiels 7 failed. HRESULT 0x%08x\n");
    if (!LegacyArchiveType(legacyType, m_type)) {
        pxLib::LogError(
            u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(623) : Unexpected legacy type "
            u"%d\n",
            legacyType);
        return kHrBadFormat;
    }
    m_stream = pxLib::RefPtr<pxLib::IByteStream>(stream);
    pxLib::LogInformation(
        u"ZOLT::CFilePackerEx::CArchiveInfo::Deserialize_legacy(631) : Segment header %s "
        u"Deserialized\n",
        m_strId);
    return kHrOk;
}

}  // namespace ZOLT
