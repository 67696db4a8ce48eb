#include "ToolFiles.h"

#include "CollectionText.h"
#include "collections/archive/MemoryStream.h"
#include "collections/archive/RegionStream.h"
#include "packer/FileDataExtender.h"
#include "packer/FilePackerEx.h"
#include "packer/FileSystem.h"
#include "packer/StreamStatus.h"
#include "support/text/Utf.h"

#include <cinttypes>
#include <cstdio>

namespace qvdpack {
namespace {

std::string HrText(ZOLT::HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08" PRIx32, static_cast<uint32_t>(hr));
    return text;
}

bool LoadFrom(pxLib::IByteStream* stream, pxLib::pxTavKeyValueCollection& collection,
              const std::string& what, std::string& error) {
    if (!collection.Load(stream)) {
        error = what + " does not hold a key-value collection";
        return false;
    }
    const uint64_t left = ZOLT::BytesLeft(stream);
    if (left != 0)
        std::fprintf(stderr, "qvdpack: note: %" PRIu64 " bytes follow the collection in %s\n", left,
                     what.c_str());
    return true;
}

}  // namespace

bool ReadFileBytes(const std::u16string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes,
                   std::string& error) {
    const std::string name = pxLib::Utf16ToUtf8(path);
    pxLib::RefPtr<ZOLT::IFileStream> file;
    ZOLT::HRESULT hr = ZOLT::CreateFileStream(path, ZOLT::FileAccess::Read,
                                              ZOLT::FileDisposition::OpenExisting, file);
    uint64_t size = 0;
    if (!ZOLT::Failed(hr)) hr = ZOLT::GetSize(file.get(), size);
    if (ZOLT::Failed(hr)) {
        error = "cannot read " + name + " (" + HrText(hr) + ")";
        return false;
    }
    if (size > maxBytes) {
        error = name + " is larger than " + std::to_string(maxBytes) + " bytes";
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    hr = size == 0 ? ZOLT::kHrOk
                   : ZOLT::ReadExact(file.get(), bytes.data(), static_cast<uint32_t>(size));
    if (ZOLT::Failed(hr)) {
        error = "cannot read " + name + " (" + HrText(hr) + ")";
        return false;
    }
    return true;
}

bool LoadCollectionFile(const std::u16string& path, pxLib::pxTavKeyValueCollection& collection,
                        std::string& error) {
    pxLib::RefPtr<ZOLT::IFileStream> file;
    const ZOLT::HRESULT hr = ZOLT::CreateFileStream(path, ZOLT::FileAccess::Read,
                                                    ZOLT::FileDisposition::OpenExisting, file);
    if (ZOLT::Failed(hr)) {
        error = "cannot read " + pxLib::Utf16ToUtf8(path) + " (" + HrText(hr) + ")";
        return false;
    }
    return LoadFrom(file.get(), collection, pxLib::Utf16ToUtf8(path), error);
}

bool SavedCollection(pxLib::pxTavKeyValueCollection& collection, std::vector<uint8_t>& bytes,
                     std::string& error) {
    auto stream = pxLib::MemoryStream::Create();
    if (!collection.Save(stream.get())) {
        error = "the collection cannot be saved";
        return false;
    }
    bytes = stream->Data();
    return true;
}

bool SaveCollectionFile(const std::u16string& path, pxLib::pxTavKeyValueCollection& collection,
                        std::string& error) {
    auto stream = pxLib::MemoryStream::Create();
    if (!collection.Save(stream.get())) {
        error = "the collection cannot be saved";
        return false;
    }
    const ZOLT::HRESULT hr = ZOLT::ReplaceFileWith(path, stream.get());
    if (ZOLT::Failed(hr)) {
        error = "cannot write " + pxLib::Utf16ToUtf8(path) + " (" + HrText(hr) + ")";
        return false;
    }
    return true;
}

bool ParseCollectionFile(const std::u16string& path, pxLib::pxTavKeyValueCollection& collection,
                         std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path, kMaxTextBytes, bytes, error)) return false;
    TextError textError;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!ParseCollectionText(text, collection, textError)) {
        error = pxLib::Utf16ToUtf8(path) +
                (textError.line != 0 ? ":" + std::to_string(textError.line) : std::string()) +
                ": " + textError.message;
        return false;
    }
    return true;
}

bool LoadLayoutData(const std::u16string& path, pxLib::pxTavKeyValueCollection& collection,
                    std::string& error) {
    ZOLT::CFilePackerEx packer;
    ZOLT::HRESULT hr = packer.Open(path);
    if (ZOLT::Failed(hr)) {
        error = "the package reader refuses " + pxLib::Utf16ToUtf8(path) + " (" + HrText(hr) + ")";
        return false;
    }
    const ZOLT::CFilePackerEx::CArchiveInfo* archive =
        packer.FindArchive(ZOLT::kLayoutArchiveId, ZOLT::kLayoutArchiveType);
    pxLib::RefPtr<pxLib::IByteStream> stream;
    if (archive == nullptr || ZOLT::Failed(packer.ExtractStream(
                                  ZOLT::kLayoutArchiveId, ZOLT::kLayoutArchiveType, stream))) {
        error = pxLib::Utf16ToUtf8(path) + " carries no layout data (\"FDELayoutData\")";
        return false;
    }
    uint64_t fileSize = 0;
    if (ZOLT::Failed(ZOLT::GetSize(stream.get(), fileSize)) ||
        archive->GetOffset() + archive->GetSize() > fileSize) {
        error = "the layout data reaches beyond the end of the file";
        return false;
    }
    pxLib::RefPtr<pxLib::IByteStream> region(
        new pxLib::RegionStream(stream, archive->GetOffset(), archive->GetSize()));
    return LoadFrom(region.get(), collection, "the layout data", error);
}

}  // namespace qvdpack
