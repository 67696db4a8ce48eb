// ZOLT::CPEFileHelper: just enough of a Windows executable's headers to tell
// where the image's own data ends and where its certificate table lies. It
// reads through the package reader's stream with absolute positions and never
// changes the file; the headers are read once.
#pragma once

#include "collections/archive/ByteStream.h"

#include <cstdint>

namespace ZOLT {

class CPEFileHelper {
public:
    // True at once after a complete read. False (with the reason in the debug
    // log) for anything that is not a PE32 or PE32+ image with at least one
    // section header inside the file, whose last section's raw data and whose
    // certificate table end within the file.
    [[nodiscard]] bool ReadHeaders(pxLib::IByteStream* file);

    [[nodiscard]] bool IsInitialized() const { return m_bInitialized; }
    [[nodiscard]] bool IsPE32Plus() const { return m_pe32Plus; }
    // File offset of the optional header's CheckSum field, and its size (4).
    uint32_t GetCheckSumOffset() const { return m_dwCheckSumOffset; }
    uint32_t GetCheckSumSize() const { return m_dwCheckSumSize; }
    // File offset of the certificate-table data-directory entry, and its size (8).
    uint32_t GetSecurityDirOffset() const { return m_dwSecurityDirOffset; }
    uint32_t GetSecurityDirSize() const { return m_dwSecurityDirSize; }
    // The entry's two fields: for this directory a file offset and a length.
    uint32_t GetWinCertificateOffset() const { return m_dwWinCertificateOffset; }
    uint32_t GetWinCertificateLength() const { return m_dwWinCertificateLength; }
    // PointerToRawData + SizeOfRawData of the last section header, summed in
    // 64 bits: a 32-bit sum could wrap and point into the headers.
    uint64_t GetEndOfRawData() const { return m_qwEndOfRawData; }

private:
    bool m_bInitialized = false;
    bool m_pe32Plus = false;
    uint32_t m_dwCheckSumOffset = 0;
    uint32_t m_dwCheckSumSize = 0;
    uint32_t m_dwSecurityDirOffset = 0;
    uint32_t m_dwSecurityDirSize = 0;
    uint32_t m_dwWinCertificateOffset = 0;
    uint32_t m_dwWinCertificateLength = 0;
    uint64_t m_qwEndOfRawData = 0;
};

// Offsets inside the image headers, from the start of the NT headers.
namespace pe {
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kLfanewOffset = 0x3C;
constexpr uint16_t kDosSignature = 0x5A4D;     // "MZ"
constexpr uint32_t kNtSignature = 0x00004550;  // "PE\0\0"
constexpr uint32_t kNtHeaders64Size = 264;
constexpr uint32_t kNumberOfSectionsOffset = 6;
constexpr uint32_t kSizeOfOptionalHeaderOffset = 20;
constexpr uint32_t kOptionalHeaderOffset = 24;
constexpr uint32_t kCheckSumOffset = 88;
constexpr uint16_t kPE32Magic = 0x10B;
constexpr uint16_t kPE32PlusMagic = 0x20B;
constexpr uint32_t kSecurityDirOffset32 = 152;
constexpr uint32_t kSecurityDirOffset64 = 168;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSizeOfRawDataOffset = 16;
constexpr uint32_t kPointerToRawDataOffset = 20;
}  // namespace pe

}  // namespace ZOLT
