#include "PackerFuzzChecks.h"

#include "collections/values/KeyValueCollection.h"
#include "collections/archive/MemoryStream.h"
#include "collections/archive/RegionStream.h"
#include "packer/FileDataExtender.h"
#include "packer/FilePackerEx.h"

#include <cstring>

namespace packerfuzz {
namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The writer's bytes for the list the reader found.
std::vector<uint8_t> Rewritten(const ZOLT::CFilePackerEx::CPackageHeader& header) {
    auto stream = pxLib::MemoryStream::Create();
    Check(header.Serialize(stream.get()));
    return stream->Data();
}

}  // namespace

std::vector<uint8_t> PlaceBehindImage(uint8_t selector, const uint8_t* package, size_t size) {
    // One PE32+ section; its raw data ends at 0x400.
    std::vector<uint8_t> file(0x400, 0);
    file[0] = 'M';
    file[1] = 'Z';
    PutU32(file, 0x3C, 0x80);
    file[0x80] = 'P';
    file[0x81] = 'E';
    file[0x86] = 1;     // NumberOfSections
    file[0x94] = 240;   // SizeOfOptionalHeader
    file[0x98] = 0x0B;  // PE32+
    file[0x99] = 0x02;
    const size_t section = 0x80 + 24 + 240;
    PutU32(file, section + 16, 0x200);  // SizeOfRawData
    PutU32(file, section + 20, 0x200);  // PointerToRawData
    if ((selector & 1) == 0) {
        file.insert(file.end(), 4, 0);
    } else {
        const uint32_t entry = 16 + (selector >> 1) * 8u;
        file.resize(file.size() + entry, 0x30);
        PutU32(file, 0x400, entry);
        PutU32(file, 0x80 + 168, 0x400);
        PutU32(file, 0x80 + 172, static_cast<uint32_t>(entry + size));
    }
    file.insert(file.end(), package, package + size);
    return file;
}

void CheckFile(const std::vector<uint8_t>& bytes) {
    auto stream = pxLib::MemoryStream::Create(bytes);
    ZOLT::CFilePackerEx packer;
    const ZOLT::HRESULT hr = packer.OpenStream(stream.get());
    if (ZOLT::Failed(hr)) return;
    Check(hr == 0);
    const ZOLT::CPEFileHelper* pe = packer.GetPEHelper();
    const ZOLT::CFilePackerEx::CPackageHeader* header = packer.GetPackageHeader();
    Check(pe != nullptr && pe->IsInitialized() && header != nullptr);
    Check(pe->GetEndOfRawData() != 0);
    // The image and the certificate table end within the file, summed in 64 bits.
    Check(pe->GetEndOfRawData() <= bytes.size());
    Check(uint64_t{pe->GetWinCertificateOffset()} + pe->GetWinCertificateLength() <= bytes.size());
    Check(header->GetArchives().size() <= ZOLT::kMaxArchiveCount);
    if (!packer.HasPackage()) {
        Check(header->GetArchives().empty());
        Check(!packer.HasArchive(ZOLT::kLayoutArchiveId, ZOLT::kLayoutArchiveType));
        return;
    }
    Check(packer.GetPackageOffset() < bytes.size());

    bool writable = header->GetVersion() == ZOLT::kPackageVersion;
    uint64_t previousEnd = 0;
    for (const auto& archive : header->GetArchives()) {
        Check(archive.GetOffset() >= previousEnd);
        previousEnd = archive.GetOffset() + archive.GetSize();
        if (header->GetVersion() == ZOLT::kPackageVersion) {
            // The end marker was read behind every archive.
            Check(previousEnd + 4 <= bytes.size());
            uint32_t marker = 0;
            std::memcpy(&marker, bytes.data() + previousEnd, 4);
            Check(marker == ZOLT::kArchiveEndMarker);
            previousEnd += 4;
        }
        if (archive.GetId().empty()) writable = false;
        Check(packer.HasArchive(archive.GetId(), archive.GetType()));
        pxLib::RefPtr<pxLib::IByteStream> extracted;
        const ZOLT::HRESULT extractedHr =
            packer.ExtractStream(archive.GetId(), archive.GetType(), extracted);
        const ZOLT::CFilePackerEx::CArchiveInfo* first =
            packer.FindArchive(archive.GetId(), archive.GetType());
        Check(first != nullptr);
        if (first->GetOffset() > bytes.size()) {
            Check(ZOLT::Failed(extractedHr));  // a legacy record may point past the end
            continue;
        }
        Check(extractedHr == 0 && extracted);
        uint64_t position = 0;
        Check(extracted->GetPosition(position) && position == first->GetOffset());
    }
    if (writable) {
        // Writer and reader agree field for field.
        const std::vector<uint8_t> rewritten = Rewritten(*header);
        const uint64_t start = packer.GetPackageOffset();
        Check(start + rewritten.size() <= bytes.size());
        Check(std::memcmp(bytes.data() + start, rewritten.data(), rewritten.size()) == 0);
    }

    // The layout data loads from its own archive only, as the install data reader does.
    const auto* layout = packer.FindArchive(ZOLT::kLayoutArchiveId, ZOLT::kLayoutArchiveType);
    if (layout != nullptr && layout->GetOffset() + layout->GetSize() <= bytes.size()) {
        pxLib::RefPtr<pxLib::IByteStream> region(
            new pxLib::RegionStream(pxLib::RefPtr<pxLib::IByteStream>(stream.get()),
                                    layout->GetOffset(), layout->GetSize()));
        pxLib::pxTavKeyValueCollection collection;
        if (!collection.Load(region.get())) Check(collection.GetCount() == 0);
    }
}

}  // namespace packerfuzz
