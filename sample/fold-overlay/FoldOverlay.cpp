#include "FoldOverlay.h"

#include "packer/PEFileHelper.h"

namespace qvdsample {
namespace {

namespace pe = ZOLT::pe;

// Header fields not named by the package reader.
constexpr uint32_t kSectionAlignmentOffset = 32;  // from the optional header
constexpr uint32_t kFileAlignmentOffset = 36;
constexpr uint32_t kSizeOfImageOffset = 56;
constexpr uint32_t kVirtualSizeOffset = 8;  // from a section header
constexpr uint32_t kVirtualAddressOffset = 12;
// The certificate-table entry, from the optional header.
constexpr uint32_t kSecurityEntryOffset32 = pe::kSecurityDirOffset32 - pe::kOptionalHeaderOffset;
constexpr uint32_t kSecurityEntryOffset64 = pe::kSecurityDirOffset64 - pe::kOptionalHeaderOffset;
// A data-directory entry: an address, then a size.
constexpr uint32_t kDirectoryEntrySize = 8;
constexpr uint32_t kDirectorySizeField = 4;
constexpr uint64_t kMaxImageField = UINT32_MAX;

uint16_t Read16(const std::vector<uint8_t>& bytes, uint64_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t Read32(const std::vector<uint8_t>& bytes, uint64_t at) {
    return static_cast<uint32_t>(Read16(bytes, at)) | static_cast<uint32_t>(Read16(bytes, at + 2))
                                                          << 16;
}

void Write32(std::vector<uint8_t>& bytes, uint64_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool IsPowerOfTwo(uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

struct Section {
    uint64_t header = 0;  // file offset of the section header
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawPointer = 0;
    uint64_t RawEnd() const { return uint64_t{rawPointer} + rawSize; }
    uint64_t VirtualEnd() const { return uint64_t{virtualAddress} + virtualSize; }
};

Section ReadSection(const std::vector<uint8_t>& bytes, uint64_t header) {
    Section s;
    s.header = header;
    s.virtualSize = Read32(bytes, header + kVirtualSizeOffset);
    s.virtualAddress = Read32(bytes, header + kVirtualAddressOffset);
    s.rawSize = Read32(bytes, header + pe::kSizeOfRawDataOffset);
    s.rawPointer = Read32(bytes, header + pe::kPointerToRawDataOffset);
    return s;
}

}  // namespace

FoldResult FoldOverlay(std::vector<uint8_t>& image) {
    const uint64_t size = image.size();
    if (size < pe::kDosHeaderSize || Read16(image, 0) != pe::kDosSignature)
        return FoldResult::NotAnImage;
    const uint64_t nt = Read32(image, pe::kLfanewOffset);
    if (nt + pe::kOptionalHeaderOffset > size || Read32(image, nt) != pe::kNtSignature)
        return FoldResult::NotAnImage;
    const uint16_t sectionCount = Read16(image, nt + pe::kNumberOfSectionsOffset);
    const uint16_t optionalSize = Read16(image, nt + pe::kSizeOfOptionalHeaderOffset);
    const uint64_t optional = nt + pe::kOptionalHeaderOffset;
    const uint64_t sectionTable = optional + optionalSize;
    if (sectionCount == 0 || optionalSize < sizeof(uint16_t) ||
        sectionTable + uint64_t{sectionCount} * pe::kSectionHeaderSize > size)
        return FoldResult::NotAnImage;

    uint64_t securityEntry = 0;
    switch (Read16(image, optional)) {
        case pe::kPE32Magic:
            securityEntry = kSecurityEntryOffset32;
            break;
        case pe::kPE32PlusMagic:
            securityEntry = kSecurityEntryOffset64;
            break;
        default:
            return FoldResult::NotAnImage;
    }
    if (securityEntry + kDirectoryEntrySize > optionalSize) return FoldResult::NotAnImage;
    if (Read32(image, optional + securityEntry + kDirectorySizeField) != 0)
        return FoldResult::Signed;

    const uint32_t sectionAlignment = Read32(image, optional + kSectionAlignmentOffset);
    const uint32_t fileAlignment = Read32(image, optional + kFileAlignmentOffset);
    if (!IsPowerOfTwo(sectionAlignment) || !IsPowerOfTwo(fileAlignment))
        return FoldResult::NotAnImage;

    const Section last =
        ReadSection(image, sectionTable + (uint64_t{sectionCount} - 1) * pe::kSectionHeaderSize);
    if (last.RawEnd() > size) return FoldResult::NotAnImage;
    for (uint16_t i = 0; i + 1 < sectionCount; ++i) {
        const Section s = ReadSection(image, sectionTable + uint64_t{i} * pe::kSectionHeaderSize);
        if (s.RawEnd() > last.rawPointer && s.rawSize != 0) return FoldResult::Unsupported;
        if (s.VirtualEnd() > last.virtualAddress) return FoldResult::Unsupported;
    }
    if (last.RawEnd() == size) return FoldResult::NothingToFold;
    if (last.rawSize == 0) return FoldResult::Unsupported;

    const uint64_t foldedSize = AlignUp(size, fileAlignment);
    const uint64_t rawSize = foldedSize - last.rawPointer;
    const uint64_t virtualSize = rawSize > last.virtualSize ? rawSize : last.virtualSize;
    const uint64_t imageSize =
        AlignUp(uint64_t{last.virtualAddress} + virtualSize, sectionAlignment);
    if (foldedSize > kMaxImageField || imageSize > kMaxImageField) return FoldResult::Unsupported;

    image.resize(static_cast<size_t>(foldedSize), 0);
    Write32(image, last.header + pe::kSizeOfRawDataOffset, static_cast<uint32_t>(rawSize));
    Write32(image, last.header + kVirtualSizeOffset, static_cast<uint32_t>(virtualSize));
    Write32(image, optional + kSizeOfImageOffset, static_cast<uint32_t>(imageSize));
    return FoldResult::Folded;
}

const char* Describe(FoldResult result) {
    switch (result) {
        case FoldResult::Folded:
            return "the appended data now belongs to the last section";
        case FoldResult::NothingToFold:
            return "the file already ends with its last section";
        case FoldResult::NotAnImage:
            return "not a PE32 or PE32+ image with its headers inside the file";
        case FoldResult::Signed:
            return "the file is signed: fold before signing";
        case FoldResult::Unsupported:
            return "the last section header does not describe the last section";
    }
    return "unknown result";
}

}  // namespace qvdsample
