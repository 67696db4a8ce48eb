#include "packer/PEFileHelper.h"

#include "packer/StreamStatus.h"
#include "support/logging/Log.h"
#include "support/logging/Trace.h"

#include <cstring>
#include <new>
#include <vector>

namespace ZOLT {
namespace {

const pxLib::TraceSource kTraceSource{
    {0xAFFBAF21, 0xCF47, 0x4937, {0x8B, 0x4F, 0x91, 0x33, 0xE3, 0x22, 0x6D, 0xC9}}};
enum class TraceEvent : uint16_t {
    DosHeaderNotRead = 1,
    NtHeadersNotRead = 2,
    SectionHeaderNotRead = 3,
};

template <class T>
T At(const uint8_t* bytes, uint32_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof(T));
    return value;
}

// Reads count bytes at an absolute position; a failure goes to the trace
// channel with the stream's error.
bool ReadAt(pxLib::IByteStream* file, uint64_t position, void* bytes, uint32_t count,
            TraceEvent event) {
    HRESULT hr = SetPosition(file, position);
    if (!Failed(hr)) hr = ReadExact(file, bytes, count);
    if (Failed(hr)) {
        const uint32_t error = static_cast<uint32_t>(hr);
        pxLib::Trace(kTraceSource, pxLib::TraceLevel::Error, event, error, position);
        return false;
    }
    return true;
}

}  // namespace

bool CPEFileHelper::ReadHeaders(pxLib::IByteStream* file) {
    if (m_bInitialized) return true;
    if (file == nullptr) return false;

    uint64_t fileSize = 0;
    if (!file->SetPosition(0) || !file->GetSize(fileSize)) {
        pxLib::LogError(
            u"ZOLT::CPEFileHelper::ReadHeaders(79) : CSignedPEFile::ReadHeaders() : GetLength() == "
            u"FALSE\n");
        return false;
    }

    uint8_t dosHeader[pe::kDosHeaderSize];
    if (!ReadAt(file, 0, dosHeader, sizeof(dosHeader), TraceEvent::DosHeaderNotRead)) {
        pxLib::LogError(
            u"ZOLT::CPEFileHelper::ReadHeaders(87) : CSignedPEFile::ReadHeaders() : Read() == "
            u"FALSE\n");
        return false;
    }
    if (At<uint16_t>(dosHeader, 0) != pe::kDosSignature) {
        pxLib::LogError(
            u"ZOLT::CPEFileHelper::ReadHeaders(94) : CSignedPEFile::ReadHeaders() : "
            u"IMAGE_DOS_SIGNATURE != dosHeader.e_magic\n");
        return false;
    }

    std::vector<uint8_t> buffer;
    try {
        buffer.resize(pe::kNtHeaders64Size);
    } catch (const std::bad_alloc&) {
        pxLib::LogError(
            u"ZOLT::CPEFileHelper::ReadHeaders(103) : CSignedPEFile::ReadHeaders() : "
            u"buffer.Alloc() == NULL\n");
        return false;
    }
    // e_lfanew is signed: a negative value or one beyond the file cannot lead
    // to NT headers of this file.
    const int32_t lfanew = At<int32_t>(dosHeader, pe::kLfanewOffset);
    if (lfanew < 0 || static_cast<uint64_t>(lfanew) >= fileSize ||
        !ReadAt(file, static_cast<uint64_t>(lfanew), buffer.data(), pe::kNtHeaders64Size,
                TraceEvent::NtHeadersNotRead)) {
        pxLib::LogError(
            u"ZOLT::CPEFileHelper::ReadHeaders(111) : CSignedPEFile::ReadHeaders() : Read() == "
            u"FALSE\n");
        return false;
    }
    const uint8_t* headers = buffer.data();
    if (At<uint32_t>(headers, 0) != pe::kNtSignature) {
        pxLib::LogError(
            u"ZOLT::CPEFileHelper::ReadHeaders(118) : CSignedPEFile::ReadHeaders() : "
            u"IMAGE_NT_SIGNATURE != pHeaders32->Signature\n");
        return false;
    }

    const uint32_t base = static_cast<uint32_t>(lfanew);
    uint32_t securityEntry = 0;
    switch (At<uint16_t>(headers, pe::kOptionalHeaderOffset)) {
        case pe::kPE32Magic:
            securityEntry = pe::kSecurityDirOffset32;
            m_pe32Plus = false;
            break;
        case pe::kPE32PlusMagic:
            securityEntry = pe::kSecurityDirOffset64;
            m_pe32Plus = true;
            break;
        default:
            pxLib::LogError(
                u"ZOLT::CPEFileHelper::ReadHeaders(159) : CSignedPEFile::ReadHeaders() : Unknown "
                u"PE header format\n");
            return false;
    }
    m_dwCheckSumOffset = base + pe::kCheckSumOffset;
    m_dwSecurityDirOffset = base + securityEntry;
    m_dwWinCertificateOffset = At<uint32_t>(headers, securityEntry);
    m_dwWinCertificateLength = At<uint32_t>(headers, securityEntry + 4);
    // The table must end within the file, not only start there.
    if (uint64_t{m_dwWinCertificateOffset} + m_dwWinCertificateLength > fileSize) {
        pxLib::LogError(
            u"ZOLT::CPEFileHelper::ReadHeaders(168) : CSignedPEFile::ReadHeaders() : "
            u"m_dwWinCertificateLength > m_dwMaxCertificateSize\n");
        return false;
    }
    m_dwCheckSumSize = 4;
    m_dwSecurityDirSize = 8;

    // Without a section there is no last section header: the 40 bytes in front
    // of the section table would be taken for one.
    const uint16_t sections = At<uint16_t>(headers, pe::kNumberOfSectionsOffset);
    if (sections == 0) {
        pxLib::LogError(
            u"ZOLT::CPEFileHelper::ReadHeaders(180) : CSignedPEFile::ReadHeaders() : "
            u"NumberOfSections == 0\n");
        return false;
    }
    const uint64_t lastSection = uint64_t{base} + pe::kOptionalHeaderOffset +
                                 At<uint16_t>(headers, pe::kSizeOfOptionalHeaderOffset) +
                                 uint64_t{pe::kSectionHeaderSize} * (sections - 1u);
    uint8_t section[pe::kSectionHeaderSize];
    if (!ReadAt(file, lastSection, section, sizeof(section), TraceEvent::SectionHeaderNotRead)) {
        pxLib::LogError(
            u"ZOLT::CPEFileHelper::ReadHeaders(188) : CSignedPEFile::ReadHeaders() : Read() == "
            u"FALSE\n");
        return false;
    }
    const uint64_t endOfRawData = uint64_t{At<uint32_t>(section, pe::kPointerToRawDataOffset)} +
                                  At<uint32_t>(section, pe::kSizeOfRawDataOffset);
    if (endOfRawData > fileSize) {
        pxLib::LogError(
            u"ZOLT::CPEFileHelper::ReadHeaders(193) : CSignedPEFile::ReadHeaders() : "
            u"m_qwEndOfRawData > GetLength()\n");
        return false;
    }
    m_qwEndOfRawData = endOfRawData;
    m_bInitialized = true;
    return true;
}

}  // namespace ZOLT
