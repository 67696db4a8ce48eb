// Helpers of the packer tests, in both builds: scratch folders with real
// files, and synthetic executables with certificate tables and packages.
#pragma once

#include "collections/archive/ByteStream.h"
#include "collections/values/KeyValueCollection.h"
#include "packer/PackageWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace packertest {

using Bytes = std::vector<uint8_t>;

// A fresh folder, removed with everything in it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::u16string& path() const { return m_path; }
    // path + separator + name; name may hold '/' for subfolders.
    std::u16string file(const std::u16string& name) const;

private:
    std::u16string m_path;
};

// The platform's path separator.
extern const char16_t kSeparator;

bool WriteBytes(const std::u16string& path, const Bytes& bytes);
Bytes ReadBytes(const std::u16string& path);
bool MakeFolder(const std::u16string& path);
bool PathExists(const std::u16string& path);
std::vector<std::u16string> FolderEntries(const std::u16string& folder);
std::string Narrow(const std::u16string& text);

// Counts every operation on the stream below: what a reader costs.
class CountingStream final : public pxLib::IByteStream {
public:
    explicit CountingStream(pxLib::RefPtr<pxLib::IByteStream> inner) : m_inner(std::move(inner)) {}
    // Over a memory stream holding bytes.
    static pxLib::RefPtr<CountingStream> Over(const Bytes& bytes);

    pxLib::OBJRESULT QueryInterface(const pxLib::Guid& iid, void** out) override {
        return m_inner->QueryInterface(iid, out);
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }
    bool GetSize(uint64_t& s) override { return ++calls, m_inner->GetSize(s); }
    bool SetSize(uint64_t s) override { return ++calls, m_inner->SetSize(s); }
    bool GetPosition(uint64_t& p) override { return ++calls, m_inner->GetPosition(p); }
    bool SetPosition(uint64_t p) override { return ++calls, m_inner->SetPosition(p); }
    bool Write(const void* b, uint32_t c) override { return ++calls, m_inner->Write(b, c); }
    bool Read(void* b, uint32_t c) override { return ++calls, m_inner->Read(b, c); }
    int calls = 0;

private:
    pxLib::RefCount m_refs;
    pxLib::RefPtr<pxLib::IByteStream> m_inner;
};

// --- Synthetic executables ---

struct ImageOptions {
    bool pe32Plus = true;
    uint16_t sections = 2;
    int32_t lfanew = 0x80;
    uint32_t rawDataStart = 0x400;
    uint32_t sectionRawSize = 0x200;
};

// Headers and section raw data, ending exactly at endOfRawData.
Bytes BuildImage(const ImageOptions& options = {});
uint32_t EndOfRawData(const ImageOptions& options = {});
// File offset of the certificate-table directory entry of such an image.
uint32_t SecurityDirOffset(const ImageOptions& options = {});

void PutU32(Bytes& bytes, size_t offset, uint32_t value);
uint32_t GetU32(const Bytes& bytes, size_t offset);
void AppendU32(Bytes& bytes, uint32_t value);
void AppendU64(Bytes& bytes, uint64_t value);
void AppendUtf16(Bytes& bytes, const std::u16string& text);

// Appends a WIN_CERTIFICATE of length entryLength (filled with a pattern),
// padded to 8 bytes, and makes the directory cover every entry appended.
void AppendCertificateEntry(Bytes& image, uint32_t entryLength, const ImageOptions& options = {});
// Extends the directory to cover everything behind endOfRawData.
void CoverTailWithDirectory(Bytes& image, const ImageOptions& options = {});

Bytes PackageOf(const std::vector<ZOLT::PackageArchive>& archives);

struct LegacyRecord {
    std::u16string id;
    Bytes data;
    uint32_t legacyType;
};
// A legacy package (versions 0 to 4): element records, no end markers.
Bytes LegacyPackage(uint32_t version, const std::vector<LegacyRecord>& records);

// The saved bytes of a collection.
Bytes SavedCollection(pxLib::pxTavKeyValueCollection& collection);
// A small layout collection: 1001 = kind, 1002 = text.
pxLib::RefPtr<pxLib::pxTavKeyValueCollection> LayoutCollection(uint32_t kind,
                                                               const std::u16string& text);

}  // namespace packertest
