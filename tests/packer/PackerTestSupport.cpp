#include "PackerTestSupport.h"

#include "collections/archive/MemoryStream.h"
#include "support/text/Utf.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace packertest {

namespace fs = std::filesystem;

#ifdef _WIN32
const char16_t kSeparator = u'\\';
#else
const char16_t kSeparator = u'/';
#endif

namespace {
fs::path PathOf(const std::u16string& path) {
    return fs::path(path);
}
}  // namespace

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const fs::path base = fs::temp_directory_path();
    for (;;) {
#ifdef _WIN32
        const unsigned pid = GetCurrentProcessId();
#else
        const unsigned pid = static_cast<unsigned>(getpid());
#endif
        const fs::path candidate =
            base / ("qvdpacker-" + std::to_string(pid) + "-" + std::to_string(++counter) + "-" +
                    std::to_string(random() % 100000));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            m_path = candidate.u16string();
            return;
        }
    }
}

ScratchDir::~ScratchDir() {
    std::error_code error;
    if (m_path.size() > 8) fs::remove_all(PathOf(m_path), error);
}

std::u16string ScratchDir::file(const std::u16string& name) const {
    std::u16string result = m_path + kSeparator;
    for (char16_t c : name) result.push_back(c == u'/' ? kSeparator : c);
    return result;
}

bool WriteBytes(const std::u16string& path, const Bytes& bytes) {
    std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

Bytes ReadBytes(const std::u16string& path) {
    std::ifstream in(PathOf(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool MakeFolder(const std::u16string& path) {
    std::error_code error;
    fs::create_directories(PathOf(path), error);
    return fs::is_directory(PathOf(path), error);
}

bool PathExists(const std::u16string& path) {
    std::error_code error;
    return fs::exists(PathOf(path), error);
}

std::vector<std::u16string> FolderEntries(const std::u16string& folder) {
    std::vector<std::u16string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(PathOf(folder), error))
        names.push_back(entry.path().filename().u16string());
    return names;
}

std::string Narrow(const std::u16string& text) {
    return pxLib::Utf16ToUtf8(text);
}

pxLib::RefPtr<CountingStream> CountingStream::Over(const Bytes& bytes) {
    auto memory = pxLib::MemoryStream::Create(bytes);
    return pxLib::RefPtr<CountingStream>(new CountingStream(
        pxLib::RefPtr<pxLib::IByteStream>(static_cast<pxLib::IByteStream*>(memory.get()))));
}

// --- Synthetic executables ---

namespace {
constexpr uint32_t kSectionHeaderSize = 40;

uint16_t OptionalHeaderSize(const ImageOptions& o) {
    return o.pe32Plus ? 240 : 224;
}

void PutU16(Bytes& bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}
}  // namespace

void PutU32(Bytes& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetU32(const Bytes& bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[offset + i];
    return value;
}

void AppendU32(Bytes& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void AppendU64(Bytes& bytes, uint64_t value) {
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void AppendUtf16(Bytes& bytes, const std::u16string& text) {
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
}

uint32_t EndOfRawData(const ImageOptions& o) {
    return o.rawDataStart + o.sectionRawSize * o.sections;
}

uint32_t SecurityDirOffset(const ImageOptions& o) {
    return static_cast<uint32_t>(o.lfanew) + (o.pe32Plus ? 168 : 152);
}

Bytes BuildImage(const ImageOptions& o) {
    Bytes image(EndOfRawData(o), 0);
    image[0] = 'M';
    image[1] = 'Z';
    PutU32(image, 0x3C, static_cast<uint32_t>(o.lfanew));
    const size_t nt = static_cast<uint32_t>(o.lfanew);
    image[nt] = 'P';
    image[nt + 1] = 'E';
    PutU16(image, nt + 4, o.pe32Plus ? 0x8664 : 0x14C);
    PutU16(image, nt + 6, o.sections);
    PutU16(image, nt + 20, OptionalHeaderSize(o));
    PutU16(image, nt + 24, o.pe32Plus ? 0x20B : 0x10B);
    const size_t table = nt + 24 + OptionalHeaderSize(o);
    for (uint16_t i = 0; i < o.sections; ++i) {
        const size_t header = table + kSectionHeaderSize * i;
        image[header] = '.';
        image[header + 1] = static_cast<uint8_t>('a' + i);
        PutU32(image, header + 8, o.sectionRawSize);                        // VirtualSize
        PutU32(image, header + 12, 0x1000 * (i + 1));                       // VirtualAddress
        PutU32(image, header + 16, o.sectionRawSize);                       // SizeOfRawData
        PutU32(image, header + 20, o.rawDataStart + o.sectionRawSize * i);  // PointerToRawData
    }
    for (size_t i = o.rawDataStart; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(0x90 + i % 7);
    return image;
}

void AppendCertificateEntry(Bytes& image, uint32_t entryLength, const ImageOptions& o) {
    const size_t start = image.size();
    AppendU32(image, entryLength);
    image.push_back(0x00);  // wRevision 0x0200
    image.push_back(0x02);
    image.push_back(0x02);  // WIN_CERT_TYPE_PKCS_SIGNED_DATA
    image.push_back(0x00);
    for (uint32_t i = 8; i < entryLength; ++i) image.push_back(static_cast<uint8_t>(0x30 + i % 11));
    while ((image.size() - start) % 8 != 0) image.push_back(0);
    CoverTailWithDirectory(image, o);
}

void CoverTailWithDirectory(Bytes& image, const ImageOptions& o) {
    const uint32_t end = EndOfRawData(o);
    PutU32(image, SecurityDirOffset(o), end);
    PutU32(image, SecurityDirOffset(o) + 4, static_cast<uint32_t>(image.size() - end));
}

Bytes PackageOf(const std::vector<ZOLT::PackageArchive>& archives) {
    Bytes bytes;
    if (ZOLT::Failed(ZOLT::PackageBytes(archives, bytes))) return {};
    return bytes;
}

Bytes LegacyPackage(uint32_t version, const std::vector<LegacyRecord>& records) {
    Bytes records_bytes;
    for (const LegacyRecord& r : records) {
        records_bytes.push_back(8);
        AppendU32(records_bytes, static_cast<uint32_t>((r.id.size() + 1) * 2));
        AppendUtf16(records_bytes, r.id);
        records_bytes.push_back(0);
        records_bytes.push_back(0);
        records_bytes.push_back(4);
        AppendU64(records_bytes, r.data.size());
        records_bytes.push_back(3);
        AppendU32(records_bytes, r.legacyType);
    }
    Bytes bytes;
    AppendU32(bytes, ZOLT::kPackageMagic);
    AppendU32(bytes, version);
    AppendU64(bytes, records.size());
    AppendU32(bytes, static_cast<uint32_t>(records_bytes.size()));
    bytes.insert(bytes.end(), records_bytes.begin(), records_bytes.end());
    for (const LegacyRecord& r : records) bytes.insert(bytes.end(), r.data.begin(), r.data.end());
    return bytes;
}

Bytes SavedCollection(pxLib::pxTavKeyValueCollection& collection) {
    auto stream = pxLib::MemoryStream::Create();
    if (!collection.Save(stream.get())) return {};
    return stream->Data();
}

pxLib::RefPtr<pxLib::pxTavKeyValueCollection> LayoutCollection(uint32_t kind,
                                                               const std::u16string& text) {
    auto collection = pxLib::pxTavKeyValueCollection::Create();
    // None rather than a collection without the two values.
    if (!collection->SetUInt32(1001, kind) || !collection->SetString(1002, text)) return nullptr;
    return collection;
}

}  // namespace packertest
