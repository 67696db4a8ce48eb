// The platform-independent parts of the file services.
#include "packer/FileSystem.h"

#include "packer/StreamStatus.h"

#include <vector>

namespace ZOLT {

HRESULT CopyStreamToFile(pxLib::IByteStream* source, IFileStream* file) {
    if (source == nullptr || file == nullptr) return kHrInvalidArg;
    uint64_t size = 0;
    HRESULT hr = GetSize(source, size);
    if (!Failed(hr)) hr = SetPosition(source, 0);
    if (Failed(hr)) return hr;
    std::vector<uint8_t> chunk(kCopyChunkSize);
    for (uint64_t left = size; left != 0;) {
        const uint32_t count = left < kCopyChunkSize ? static_cast<uint32_t>(left) : kCopyChunkSize;
        hr = ReadExact(source, chunk.data(), count);
        if (!Failed(hr)) hr = WriteExact(file, chunk.data(), count);
        if (Failed(hr)) return hr;
        left -= count;
    }
    return file->Flush();
}

HRESULT ReplaceFileWith(const std::u16string& path, pxLib::IByteStream* content) {
    if (path.empty() || content == nullptr) return kHrInvalidArg;
    std::u16string tempPath;
    HRESULT hr = fs_detail::CreateUniqueFileBeside(path, tempPath);
    if (Failed(hr)) return hr;
    {
        pxLib::RefPtr<IFileStream> file;
        hr = CreateFileStream(tempPath, FileAccess::Write, FileDisposition::CreateAlways, file);
        if (!Failed(hr)) hr = CopyStreamToFile(content, file.get());
        // The file is closed here: a file still open cannot take the old one's place.
    }
    if (!Failed(hr)) hr = fs_detail::MoveReplacing(tempPath, path);
    if (Failed(hr)) fs_detail::RemoveFile(tempPath);
    return hr;
}

bool SplitPath(const std::u16string& path, std::u16string& folder, std::u16string& fileName) {
    const size_t separator = path.find_last_of(u"\\/");
    // A path that ends in a separator names a folder: the folder, no file name.
    if (separator == std::u16string::npos) return false;
    folder = path.substr(0, separator + 1);
    fileName = path.substr(separator + 1);
    return true;
}

}  // namespace ZOLT
