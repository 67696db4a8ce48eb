// Writes the seed corpora of the packer fuzz targets with the code's own
// writers: packages of the current form (the package writer), legacy packages
// (records as archive elements), layout data (a saved collection), placed in
// unsigned and signed images.
//   packer_seed_writer <file corpus folder> <package corpus folder>
#include "PackerFuzzChecks.h"
#include "collections/values/KeyValueCollection.h"
#include "collections/archive/MemoryArchive.h"
#include "collections/archive/MemoryStream.h"
#include "packer/FileDataExtender.h"
#include "packer/PackageWriter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Whether every write that makes up the seeds succeeded: a seed made from a
// failed write is not the form it is named after.
bool g_stored = true;
void Store(bool ok) {
    g_stored = g_stored && ok;
}

using Bytes = std::vector<uint8_t>;

bool WriteSeed(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

Bytes LayoutData() {
    auto collection = pxLib::pxTavKeyValueCollection::Create();
    Store(collection->SetUInt32(1001, 64));
    Store(collection->SetString(1002, u"7abcdef0"));
    Store(collection->SetString(20041, u"filtered"));
    auto stream = pxLib::MemoryStream::Create();
    Store(collection->Save(stream.get()));
    return stream->Data();
}

Bytes Current(const std::vector<ZOLT::PackageArchive>& archives) {
    Bytes bytes;
    Store(ZOLT::PackageBytes(archives, bytes) == ZOLT::kHrOk);
    return bytes;
}

// A legacy package: its records written as archive elements.
Bytes Legacy(uint32_t version, uint32_t count) {
    pxLib::CMemoryArchive records(pxLib::CArchive::Mode::Store);
    Bytes data;
    for (uint32_t t = 0; t < count; ++t) {
        const std::u16string id =
            u"segment" + std::u16string(1, static_cast<char16_t>(u'0' + t % 10));
        Store(records.WriteWString(id.c_str()));
        Store(records.WriteUInt64(t + 3));
        Store(records.WriteUInt32(t % 10));
        data.insert(data.end(), t + 3, static_cast<uint8_t>(t));
    }
    pxLib::CMemoryArchive header(pxLib::CArchive::Mode::Store);
    Bytes bytes = {'p', 'c', 'P', 'B'};
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(version >> (8 * i)));
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(uint64_t{count} >> (8 * i)));
    const Bytes& block = records.Block();
    const uint32_t recordsSize = static_cast<uint32_t>(block.size());
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(recordsSize >> (8 * i)));
    bytes.insert(bytes.end(), block.begin(), block.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <file corpus> <package corpus>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path files = argv[1], packages = argv[2];
    std::filesystem::create_directories(files);
    std::filesystem::create_directories(packages);

    const pxLib::Guid other = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
    const std::vector<std::pair<std::string, Bytes>> seeds = {
        {"layout", Current({{ZOLT::kLayoutArchiveId, ZOLT::kLayoutArchiveType, LayoutData()}})},
        {"two-archives", Current({{ZOLT::kLayoutArchiveId, ZOLT::kLayoutArchiveType, LayoutData()},
                                  {u"Other", other, Bytes(40, 0x5A)}})},
        {"duplicates", Current({{u"a", other, {1}}, {u"a", other, {2, 2}}, {u"b", other, {}}})},
        {"empty-list", Current({})},
        {"legacy-0", Legacy(0, 1)},
        {"legacy-4", Legacy(4, 10)},
    };
    bool ok = true;
    for (const auto& seed : seeds) {
        const std::string& name = seed.first;
        const Bytes& package = seed.second;
        for (const uint8_t selector : {uint8_t{0}, uint8_t{3}}) {
            Bytes prefixed = {selector};
            prefixed.insert(prefixed.end(), package.begin(), package.end());
            const std::string kind = selector == 0 ? "unsigned-" : "signed-";
            ok &= !package.empty() && WriteSeed(packages / (kind + name), prefixed);
            ok &= WriteSeed(files / (kind + name),
                            packerfuzz::PlaceBehindImage(selector, package.data(), package.size()));
        }
    }
    ok &= WriteSeed(files / "image-only", packerfuzz::PlaceBehindImage(0, nullptr, 0));
    ok &= g_stored;
    if (!ok) std::fprintf(stderr, "could not write every seed\n");
    return ok ? 0 : 1;
}
