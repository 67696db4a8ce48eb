// The few file-system services of the embedded install data, the same API on
// Windows (Win32) and in the native build (POSIX). Paths are UTF-16.
#pragma once

#include "collections/archive/ByteStream.h"
#include "packer/PackerResult.h"

#include <string>

namespace ZOLT {

constexpr pxLib::Guid IID_IFileStream = {
    0x1BCBF7AB, 0xAEDE, 0x417A, {0x9F, 0xDB, 0xB1, 0x58, 0x7C, 0xCE, 0x37, 0xC2}};

// A byte stream on an open file. Every operation takes the stream's lock.
// Read fails with 0x80070026, reading nothing, when the position is at or past
// the end or fewer bytes remain than asked for.
class IFileStream : public pxLib::IByteStream {
public:
    // Flushes the file buffers to the disk.
    [[nodiscard]] virtual HRESULT Flush() = 0;

protected:
    ~IFileStream() = default;
};

enum class FileAccess : uint8_t { Read, Write };
enum class FileDisposition : uint8_t { OpenExisting, OpenAlways, CreateAlways };

// Opens path with read sharing and the sequential-scan hint. With OpenAlways a
// missing folder is created and the open retried; with another disposition a
// missing folder is 0x80070057. Other failures are the system error.
[[nodiscard]] HRESULT CreateFileStream(const std::u16string& path, FileAccess access,
                                       FileDisposition disposition,
                                       pxLib::RefPtr<IFileStream>& stream);

// Copies source from its start into file at file's position, in chunks of
// 16384 bytes, then flushes the file buffers.
constexpr uint32_t kCopyChunkSize = 16384;
[[nodiscard]] HRESULT CopyStreamToFile(pxLib::IByteStream* source, IFileStream* file);

// True when path names an existing file that is not a folder. Otherwise error
// is the system error of the look-up (0 for a folder).
[[nodiscard]] bool IsExistingFile(const std::u16string& path, uint32_t& error);

// Writes content (from its start) to a new file in path's folder, created when
// missing, flushes it, and puts it in path's place in one step: a reader sees
// the old file or the new one, whole, and nothing of a longer old file stays.
[[nodiscard]] HRESULT ReplaceFileWith(const std::u16string& path, pxLib::IByteStream* content);

// Splits at the last separator ('\\' or '/'): folder keeps its separator. A
// path ending in a separator gives that folder and an empty file name, as the
// platform's splitter does. False when there is no separator.
[[nodiscard]] bool SplitPath(const std::u16string& path, std::u16string& folder,
                             std::u16string& fileName);

namespace fs_detail {
// Platform parts of ReplaceFileWith.
[[nodiscard]] HRESULT CreateUniqueFileBeside(const std::u16string& path, std::u16string& tempPath);
[[nodiscard]] HRESULT MoveReplacing(const std::u16string& from, const std::u16string& to);
void RemoveFile(const std::u16string& path);
}  // namespace fs_detail

}  // namespace ZOLT
