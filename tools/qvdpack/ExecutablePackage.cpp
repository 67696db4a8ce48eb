#include "ExecutablePackage.h"

#include "packer/FileSystem.h"
#include "packer/PEFileHelper.h"
#include "packer/StreamStatus.h"
#include "support/text/Utf.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

namespace qvdpack {
namespace {

using ZOLT::CFilePackerEx;
using ZOLT::HRESULT;

std::string HrText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08" PRIx32, static_cast<uint32_t>(hr));
    return text;
}

std::string Number(uint64_t value) {
    return std::to_string(value);
}

uint64_t Align8(uint64_t value) {
    return (value + 7) & ~uint64_t{7};
}

// Where a current-form package that the reader found ends in the file.
bool PackageEnd(const CFilePackerEx& packer, uint64_t& end) {
    const CFilePackerEx::CPackageHeader* header = packer.GetPackageHeader();
    if (!packer.HasPackage() || header == nullptr || header->GetVersion() != ZOLT::kPackageVersion)
        return false;
    const auto& archives = header->GetArchives();
    if (archives.empty()) {
        end = packer.GetPackageOffset() + 12;
    } else {
        end = archives.back().GetOffset() + archives.back().GetSize() + 4;
    }
    return true;
}

bool AllZero(pxLib::IByteStream* stream, uint64_t from, uint64_t to) {
    std::vector<uint8_t> chunk(ZOLT::kCopyChunkSize);
    if (ZOLT::Failed(ZOLT::SetPosition(stream, from))) return false;
    for (uint64_t left = to - from; left != 0;) {
        const uint32_t count =
            left < chunk.size() ? static_cast<uint32_t>(left) : static_cast<uint32_t>(chunk.size());
        if (ZOLT::Failed(ZOLT::ReadExact(stream, chunk.data(), count))) return false;
        for (uint32_t i = 0; i < count; ++i)
            if (chunk[i] != 0) return false;
        left -= count;
    }
    return true;
}

HRESULT CopyRange(pxLib::IByteStream* from, pxLib::IByteStream* to, uint64_t count) {
    std::vector<uint8_t> chunk(ZOLT::kCopyChunkSize);
    HRESULT hr = ZOLT::SetPosition(from, 0);
    while (!ZOLT::Failed(hr) && count != 0) {
        const uint32_t n = count < chunk.size() ? static_cast<uint32_t>(count)
                                                : static_cast<uint32_t>(chunk.size());
        hr = ZOLT::ReadExact(from, chunk.data(), n);
        if (!ZOLT::Failed(hr)) hr = ZOLT::WriteExact(to, chunk.data(), n);
        count -= n;
    }
    return hr;
}

// The layout of the output: the first keep bytes of the input, then prefix,
// the package, padding zeros, and a new certificate directory size if signed.
struct Plan {
    uint64_t keep = 0;
    bool zeroPrefix = false;
    bool patchDirectory = false;
    uint32_t directoryEntryOffset = 0;  // file offset of the entry's size field
    uint32_t newTableLength = 0;
    uint64_t padding = 0;
};

bool PlanUnsigned(pxLib::IByteStream* input, const ZOLT::CPEFileHelper& pe, uint64_t fileSize,
                  Plan& plan, std::string& error) {
    const uint64_t end = pe.GetEndOfRawData();
    plan.keep = end;
    plan.zeroPrefix = true;
    if (fileSize == end) return true;
    // Only a package of our own may follow the image: it is replaced.
    CFilePackerEx packer;
    uint64_t packageEnd = 0;
    uint32_t marker = 1;
    if (!ZOLT::Failed(packer.OpenStream(input)) && PackageEnd(packer, packageEnd) &&
        packageEnd == fileSize && packer.GetPackageOffset() == end + 4 &&
        !ZOLT::Failed(ZOLT::SetPosition(input, end)) &&
        !ZOLT::Failed(ZOLT::ReadU32(input, marker)) && marker == 0)
        return true;
    error = "data follows the image (" + Number(fileSize - end) + " bytes behind offset " +
            Number(end) +
            "); a package can only be added to an executable that ends with its last section";
    return false;
}

bool PlanSigned(pxLib::IByteStream* input, const ZOLT::CPEFileHelper& pe, uint64_t fileSize,
                uint64_t packageSize, Plan& plan, std::string& error) {
    const uint64_t end = pe.GetEndOfRawData();
    const uint64_t tableOffset = pe.GetWinCertificateOffset();
    const uint64_t tableLength = pe.GetWinCertificateLength();
    if (tableOffset != end) {
        error = "the certificate table starts at offset " + Number(tableOffset) +
                ", not at the end of the last section (" + Number(end) +
                "), where the package reader looks; strip the executable before signing it";
        return false;
    }
    if (tableOffset + tableLength != fileSize) {
        error = "data follows the certificate table (it ends at " +
                Number(tableOffset + tableLength) + ", the file at " + Number(fileSize) + ")";
        return false;
    }
    uint32_t entryLength = 0;
    if (ZOLT::Failed(ZOLT::SetPosition(input, end)) ||
        ZOLT::Failed(ZOLT::ReadU32(input, entryLength)) || entryLength < 8 ||
        entryLength > tableLength) {
        error = "the first certificate entry's length (" + Number(entryLength) +
                ") does not fit the certificate table (" + Number(tableLength) + " bytes)";
        return false;
    }
    if (tableLength > Align8(entryLength)) {
        // Either a package of our own, which is replaced, or more certificates.
        CFilePackerEx packer;
        uint64_t packageEnd = 0;
        if (ZOLT::Failed(packer.OpenStream(input)) || !PackageEnd(packer, packageEnd) ||
            packer.GetPackageOffset() != end + entryLength || packageEnd > fileSize ||
            !AllZero(input, packageEnd, fileSize)) {
            error =
                "the certificate table holds more than one entry; the package would sit "
                "where the second entry is";
            return false;
        }
    }
    const uint64_t newLength = Align8(uint64_t{entryLength} + packageSize);
    if (newLength > UINT32_MAX || end + newLength > UINT32_MAX) {
        error = "the package is too large for the certificate table";
        return false;
    }
    plan.keep = end + entryLength;
    plan.patchDirectory = true;
    plan.directoryEntryOffset = pe.GetSecurityDirOffset() + 4;
    plan.newTableLength = static_cast<uint32_t>(newLength);
    plan.padding = newLength - entryLength - packageSize;
    return true;
}

// Writes the new file beside output; the caller moves it into place once the
// input is closed (the two may be the same file).
HRESULT WriteBeside(pxLib::IByteStream* input, const Plan& plan,
                    const std::vector<uint8_t>& package, const std::u16string& output,
                    std::u16string& temp) {
    HRESULT hr = ZOLT::fs_detail::CreateUniqueFileBeside(output, temp);
    if (ZOLT::Failed(hr)) return hr;
    {
        pxLib::RefPtr<ZOLT::IFileStream> file;
        hr = ZOLT::CreateFileStream(temp, ZOLT::FileAccess::Write,
                                    ZOLT::FileDisposition::CreateAlways, file);
        if (!ZOLT::Failed(hr)) hr = CopyRange(input, file.get(), plan.keep);
        if (!ZOLT::Failed(hr) && plan.zeroPrefix) hr = ZOLT::WriteU32(file.get(), 0);
        if (!ZOLT::Failed(hr))
            hr =
                ZOLT::WriteExact(file.get(), package.data(), static_cast<uint32_t>(package.size()));
        const uint8_t zeros[8] = {};
        if (!ZOLT::Failed(hr) && plan.padding != 0)
            hr = ZOLT::WriteExact(file.get(), zeros, static_cast<uint32_t>(plan.padding));
        if (!ZOLT::Failed(hr) && plan.patchDirectory) {
            hr = ZOLT::SetPosition(file.get(), plan.directoryEntryOffset);
            if (!ZOLT::Failed(hr)) hr = ZOLT::WriteU32(file.get(), plan.newTableLength);
        }
        if (!ZOLT::Failed(hr)) hr = file->Flush();
    }
    if (ZOLT::Failed(hr)) ZOLT::fs_detail::RemoveFile(temp);
    return hr;
}

}  // namespace

bool AddPackage(const std::u16string& input, const std::u16string& output,
                const std::vector<ZOLT::PackageArchive>& archives, std::string& error) {
    if (archives.empty()) {
        error = "no archive to add";
        return false;
    }
    std::vector<uint8_t> package;
    HRESULT hr = ZOLT::PackageBytes(archives, package);
    if (ZOLT::Failed(hr)) {
        error = "the package cannot be written (" + HrText(hr) + ")";
        return false;
    }
    pxLib::RefPtr<ZOLT::IFileStream> file;
    hr = ZOLT::CreateFileStream(input, ZOLT::FileAccess::Read, ZOLT::FileDisposition::OpenExisting,
                                file);
    if (ZOLT::Failed(hr)) {
        error = "cannot open " + pxLib::Utf16ToUtf8(input) + " (" + HrText(hr) + ")";
        return false;
    }
    ZOLT::CPEFileHelper pe;
    uint64_t fileSize = 0;
    if (!pe.ReadHeaders(file.get()) || ZOLT::Failed(ZOLT::GetSize(file.get(), fileSize))) {
        error = pxLib::Utf16ToUtf8(input) + " is not a PE32 or PE32+ executable";
        return false;
    }
    if (pe.GetEndOfRawData() == 0 || pe.GetEndOfRawData() > fileSize) {
        error = "the last section ends at " + Number(pe.GetEndOfRawData()) +
                ", outside the file of " + Number(fileSize) + " bytes";
        return false;
    }
    const bool signedFile = pe.GetWinCertificateOffset() != 0 || pe.GetWinCertificateLength() != 0;
    Plan plan;
    if (signedFile ? !PlanSigned(file.get(), pe, fileSize, package.size(), plan, error)
                   : !PlanUnsigned(file.get(), pe, fileSize, plan, error))
        return false;
    std::u16string temp;
    hr = WriteBeside(file.get(), plan, package, output, temp);
    file.reset();
    if (!ZOLT::Failed(hr)) {
        hr = ZOLT::fs_detail::MoveReplacing(temp, output);
        if (ZOLT::Failed(hr)) ZOLT::fs_detail::RemoveFile(temp);
    }
    if (ZOLT::Failed(hr)) {
        error = "cannot write " + pxLib::Utf16ToUtf8(output) + " (" + HrText(hr) + ")";
        return false;
    }
    return true;
}

bool DescribePackage(const std::u16string& path, std::string& text, std::string& error) {
    CFilePackerEx packer;
    const HRESULT hr = packer.Open(path);
    const ZOLT::CPEFileHelper* pe = packer.GetPEHelper();
    text = "file: " + pxLib::Utf16ToUtf8(path) + "\n";
    if (pe != nullptr) {
        text += std::string("image: ") + (pe->IsPE32Plus() ? "PE32+" : "PE32") +
                ", end of raw data " + Number(pe->GetEndOfRawData()) + "\n";
        if (pe->GetWinCertificateOffset() == 0 && pe->GetWinCertificateLength() == 0)
            text += "certificate table: none\n";
        else
            text += "certificate table: offset " + Number(pe->GetWinCertificateOffset()) +
                    ", length " + Number(pe->GetWinCertificateLength()) + "\n";
    }
    if (ZOLT::Failed(hr)) {
        error = "the package reader refuses the file (" + HrText(hr) + ")";
        return false;
    }
    if (!packer.HasPackage()) {
        text += "package: none (looked at offset " + Number(packer.GetPackageOffset()) + ")\n";
        return true;
    }
    const CFilePackerEx::CPackageHeader* header = packer.GetPackageHeader();
    text += "package: offset " + Number(packer.GetPackageOffset()) + ", version " +
            Number(header->GetVersion()) + ", " + Number(header->GetArchives().size()) +
            " archive(s)\n";
    size_t index = 0;
    for (const CFilePackerEx::CArchiveInfo& archive : header->GetArchives()) {
        text += "archive " + Number(index++) + ": id \"" + pxLib::Utf16ToUtf8(archive.GetId()) +
                "\" type " + pxLib::Utf16ToUtf8(pxLib::GuidToText(archive.GetType())) + " size " +
                Number(archive.GetSize()) + " offset " + Number(archive.GetOffset()) + "\n";
    }
    return true;
}

}  // namespace qvdpack
