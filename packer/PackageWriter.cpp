#include "packer/PackageWriter.h"

#include "collections/archive/MemoryStream.h"
#include "packer/StreamStatus.h"

#include <new>

namespace ZOLT {

HRESULT WritePackage(const std::vector<PackageArchive>& archives, pxLib::IByteStream* stream) {
    if (stream == nullptr) return kHrPointer;
    CFilePackerEx::CPackageHeader header;
    try {
        for (const PackageArchive& archive : archives) {
            if (archive.id.empty() || archive.bytes.size() > UINT32_MAX) return kHrInvalidArg;
            header.Archives().emplace_back(archive.id, static_cast<uint32_t>(archive.bytes.size()),
                                           archive.type);
        }
    } catch (const std::bad_alloc&) {
        return kHrOutOfMemory;
    }
    if (!header.Serialize(stream)) return LastStreamResult(stream, kHrWriteFault);
    for (const PackageArchive& archive : archives) {
        HRESULT hr = archive.bytes.empty()
                         ? kHrOk
                         : WriteExact(stream, archive.bytes.data(),
                                      static_cast<uint32_t>(archive.bytes.size()));
        if (!Failed(hr)) hr = WriteU32(stream, kArchiveEndMarker);
        if (Failed(hr)) return hr;
    }
    return kHrOk;
}

HRESULT PackageBytes(const std::vector<PackageArchive>& archives, std::vector<uint8_t>& bytes) {
    pxLib::RefPtr<pxLib::MemoryStream> stream;
    try {
        stream = pxLib::MemoryStream::Create();
    } catch (const std::bad_alloc&) {
        return kHrOutOfMemory;
    }
    const HRESULT hr = WritePackage(archives, stream.get());
    if (Failed(hr)) return hr;
    try {
        bytes = stream->Data();
    } catch (const std::bad_alloc&) {
        return kHrOutOfMemory;
    }
    return kHrOk;
}

}  // namespace ZOLT
