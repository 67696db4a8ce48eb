// ZOLT::CFilePackerEx: the package of named archives that a product appends to
// its executable, behind the first certificate entry of a signed file or
// behind four zero bytes at the end of an unsigned image.
//
// Package, current form (version 5), little-endian:
//   "pcPB" (u32 0x42506370), u32 version 5, u32 count N, then N records
//   { u32 id length L, L UTF-16 code units, u32 size, 16-byte type GUID },
//   then each archive's bytes followed by the end marker ED 0B DA BE.
// Legacy form (versions 0 to 4): "pcPB", u32 version, u64 count, u32 size of
// the records, then records as archive elements (tag 8 id, tag 4 size, tag 3
// legacy type 0-9), archives without markers. Only the current form is written.
#pragma once

#include "collections/archive/ByteStream.h"
#include "packer/PEFileHelper.h"
#include "packer/PackerResult.h"

#include <memory>
#include <string>
#include <vector>

namespace ZOLT {

constexpr uint32_t kPackageMagic = 0x42506370;  // "pcPB"
constexpr uint32_t kPackageVersion = 5;
constexpr uint32_t kArchiveEndMarker = 0xBEDA0BED;
// The most records a package may list: far above any real package, low enough
// that a crafted count costs little time and memory.
constexpr uint32_t kMaxArchiveCount = 4096;

class CFilePackerEx {
public:
    // One record of the package's list.
    class CArchiveInfo {
    public:
        CArchiveInfo() = default;
        CArchiveInfo(std::u16string id, uint32_t size, const pxLib::Guid& type)
            : m_strId(std::move(id)), m_dwSize(size), m_type(type) {}

        // Current form at the stream's position.
        [[nodiscard]] HRESULT Serialize(pxLib::IByteStream* stream) const;
        // Legacy form; on success the record keeps a reference to stream.
        [[nodiscard]] HRESULT Deserialize_legacy(pxLib::IByteStream* stream);
        // Current form. An id longer than the bytes left is not allocated.
        [[nodiscard]] HRESULT Deserialize(pxLib::IByteStream* stream);

        const std::u16string& GetId() const { return m_strId; }
        uint32_t GetSize() const { return m_dwSize; }
        const pxLib::Guid& GetType() const { return m_type; }
        // Absolute position of the archive's first byte, computed by the header.
        uint64_t GetOffset() const { return m_qwOffset; }
        void SetOffset(uint64_t offset) { m_qwOffset = offset; }

    private:
        std::u16string m_strId;
        uint32_t m_dwSize = 0;
        pxLib::Guid m_type{};
        std::u16string m_strSecond;  // never filled by these readers
        pxLib::RefPtr<pxLib::IByteStream> m_stream;
        uint64_t m_qwOffset = 0;
    };

    // The package header and its ordered list of records.
    class CPackageHeader {
    public:
        // Current form: magic, version 5, count, records. False at the first failure.
        [[nodiscard]] bool Serialize(pxLib::IByteStream* stream) const;
        // 0 when a package was read, 1 when the stream ends before a magic
        // value (no package), else a failure.
        [[nodiscard]] HRESULT Deserialize(pxLib::IByteStream* stream);

        uint32_t GetVersion() const { return m_dwVersion; }
        const std::vector<CArchiveInfo>& GetArchives() const { return m_archives; }
        std::vector<CArchiveInfo>& Archives() { return m_archives; }

    private:
        uint32_t m_dwVersion = kPackageVersion;
        std::vector<CArchiveInfo> m_archives;
    };

    CFilePackerEx() = default;
    CFilePackerEx(const CFilePackerEx&) = delete;
    CFilePackerEx& operator=(const CFilePackerEx&) = delete;

    // Opens the file read-only, reads its headers and its package list. A file
    // without a package opens with HasPackage() false. After a failure the
    // reader is to be discarded.
    [[nodiscard]] HRESULT Open(const std::u16string& path);
#ifdef _WIN32
    [[nodiscard]] HRESULT Open(const std::wstring& path) {
        return Open(std::u16string(path.begin(), path.end()));
    }
#endif
    // The same over a stream that is already open (memory, counting, ...).
    [[nodiscard]] HRESULT OpenStream(pxLib::IByteStream* stream);

    // Whether a record has exactly this type and id (case-sensitive).
    [[nodiscard]] bool HasArchive(const std::u16string& id, const pxLib::Guid& type) const;
    // The package's stream, moved to the first record with this id and type.
    // The caller must not read beyond the record's size.
    [[nodiscard]] HRESULT ExtractStream(const std::u16string& id, const pxLib::Guid& type,
                                        pxLib::RefPtr<pxLib::IByteStream>& stream);
    // The first record with this id and type, or null.
    const CArchiveInfo* FindArchive(const std::u16string& id, const pxLib::Guid& type) const;

    [[nodiscard]] bool HasPackage() const {
        return m_bHasPackage;
    }
    // Where the package was looked for (64 bits: the sum of two 32-bit fields).
    uint64_t GetPackageOffset() const {
        return m_qwPackageOffset;
    }
    const CPEFileHelper* GetPEHelper() const {
        return m_peHelper.get();
    }
    const CPackageHeader* GetPackageHeader() const {
        return m_header.get();
    }
    const std::u16string& GetSourcePath() const {
        return m_strSourcePath;
    }

private:
    void Reset();
    [[nodiscard]] HRESULT OpenPath(const std::u16string& path);
    [[nodiscard]] HRESULT OpenOver(pxLib::IByteStream* stream);
    [[nodiscard]] HRESULT InitPEHeaders();
    [[nodiscard]] HRESULT ReadPackageHeader();

    std::u16string m_strSourcePath;
    pxLib::RefPtr<pxLib::IByteStream> m_stream;
    std::unique_ptr<CPEFileHelper> m_peHelper;
    std::shared_ptr<CPackageHeader> m_header;
    uint64_t m_qwPackageOffset = 0;
    bool m_bHasPackage = false;
};

// The type GUID of legacy type 0-9; false for 10 and above.
[[nodiscard]] bool LegacyArchiveType(uint32_t legacyType, pxLib::Guid& type);

}  // namespace ZOLT
