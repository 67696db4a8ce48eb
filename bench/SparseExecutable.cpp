#include "SparseExecutable.h"

#include "packer/FileSystem.h"

#include <algorithm>

namespace bench {
namespace {

constexpr uint32_t kLfanew = 0x80;
constexpr uint32_t kOptionalHeaderSize = 240;
constexpr uint32_t kWriteChunk = 1 << 20;

void Put16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

Bytes ImageHeaders(uint64_t endOfRawData) {
    Bytes headers(kImageHeadersSize, 0);
    headers[0] = 'M';
    headers[1] = 'Z';
    Put32(headers, 0x3C, kLfanew);
    headers[kLfanew] = 'P';
    headers[kLfanew + 1] = 'E';
    Put16(headers, kLfanew + 6, 1);  // NumberOfSections
    Put16(headers, kLfanew + 20, kOptionalHeaderSize);
    Put16(headers, kLfanew + 24, 0x20B);  // PE32+
    const size_t section = kLfanew + 24 + kOptionalHeaderSize;
    Put32(headers, section + 16, static_cast<uint32_t>(endOfRawData - kImageHeadersSize));
    Put32(headers, section + 20, static_cast<uint32_t>(kImageHeadersSize));
    return headers;
}

bool WriteSparseFile(const std::u16string& path, uint64_t size, const std::vector<Piece>& pieces) {
    pxLib::RefPtr<ZOLT::IFileStream> file;
    if (ZOLT::Failed(ZOLT::CreateFileStream(path, ZOLT::FileAccess::Write,
                                            ZOLT::FileDisposition::CreateAlways, file)))
        return false;
    // Extending the file leaves a hole: only the pieces are written.
    if (!file->SetSize(size)) return false;
    for (const Piece& piece : pieces) {
        if (!file->SetPosition(piece.offset)) return false;
        if (piece.bytes.empty()) continue;
        // Whole copies of the bytes, a chunk's worth at a time.
        const uint64_t perChunk = std::max<uint64_t>(1, kWriteChunk / piece.bytes.size());
        Bytes chunk;
        for (uint64_t i = 0; i < std::min(perChunk, piece.repeat); ++i)
            chunk.insert(chunk.end(), piece.bytes.begin(), piece.bytes.end());
        for (uint64_t left = piece.repeat; left != 0;) {
            const uint64_t copies = std::min(perChunk, left);
            const Bytes::const_iterator end = chunk.begin() + copies * piece.bytes.size();
            for (Bytes::const_iterator next = chunk.begin(); next != end;) {
                const uint32_t count = static_cast<uint32_t>(
                    std::min<uint64_t>(kWriteChunk, static_cast<uint64_t>(end - next)));
                if (!file->Write(&*next, count)) return false;
                next += count;
            }
            left -= copies;
        }
    }
    return !ZOLT::Failed(file->Flush());
}

}  // namespace bench
