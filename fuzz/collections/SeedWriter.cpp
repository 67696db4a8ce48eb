// Writes the seed corpora of the collection fuzz targets with the library's
// own writers: archive elements of every tag and variant type, and saved
// collections holding every value kind, nested objects included.
//   collections_seed_writer <archive corpus folder> <collection corpus folder>
#include "collections/values/IndexValueCollection.h"
#include "collections/values/KeyValueCollection.h"
#include "collections/archive/MemoryArchive.h"
#include "collections/values/MemoryImpl.h"
#include "collections/archive/MemoryStream.h"
#include "collections/values/StringImpl.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using pxLib::CArchive;
using pxLib::RefPtr;
using pxLib::Variant;

bool WriteSeed(const std::filesystem::path& folder, const std::string& name, uint8_t selector,
               const std::vector<uint8_t>& bytes) {
    std::ofstream file(folder / name, std::ios::binary | std::ios::trunc);
    file.put(static_cast<char>(selector));
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::vector<uint8_t> SavedBytes(pxLib::IPersistObject& object) {
    auto stream = pxLib::MemoryStream::Create();
    if (!object.Save(stream.get())) return {};
    return stream->Data();
}

Variant EveryVariant() {
    pxLib::VariantDecimal decimal;
    decimal.scale = 3;
    decimal.sign = 0x80;
    decimal.lo64 = 99;
    return Variant::VariantArray({
        Variant(),
        Variant::I1(-1),
        Variant::UI1(1),
        Variant::I2(-2),
        Variant::UI2(2),
        Variant::Bool(true),
        Variant::I4(-4),
        Variant::UI4(4),
        Variant::Int(-5),
        Variant::UInt(5),
        Variant::R4(1.5f),
        Variant::R8(2.5),
        Variant::Date(3.5),
        Variant::I8(-8),
        Variant::UI8(8),
        Variant::Decimal(decimal),
        Variant::Bstr(u"bstr"),
        Variant::ByteArray({1, 2, 3}),
        Variant::VariantArray({Variant::Bstr(u"in")}),
    });
}

std::vector<uint8_t> EveryElement() {
    pxLib::CMemoryArchive archive(CArchive::Mode::Store);
    const pxLib::Guid guid = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    pxLib::Record16 record = {{16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}};
    const uint8_t block[6] = {0, 1, 2, 3, 4, 5};
    archive.WriteUInt8(1);
    archive.WriteUInt16(2);
    archive.WriteUInt32(3);
    archive.WriteUInt64(4);
    archive.WriteDouble(5.5);
    archive.WriteInt32(-6);
    archive.WriteString("seven");
    archive.WriteWString(u"eight");
    archive.WriteBinary(block, 6);
    archive.WriteBool(true);
    archive.WriteVariant(EveryVariant());
    archive.WriteInt8(-12);
    archive.WriteInt16(-13);
    archive.WriteInt64(-14);
    archive.WriteGuid(guid);
    archive.WriteRecord16(record);
    return archive.Block();
}

RefPtr<pxLib::pxTavKeyValueCollection> EveryKind() {
    auto inner = pxLib::pxTavIndexValueCollection::Create();
    inner->SetString(0, u"first");
    inner->SetUInt64(1, 42);
    auto nested = pxLib::pxTavKeyValueCollection::Create();
    nested->SetCacheSize(true);
    nested->SetInt32(1, -7);
    nested->SetObject(2, static_cast<pxLib::IPersistObject*>(inner.get()));
    auto narrow = pxLib::CStringImpl::Create();
    narrow->SetNarrow("narrow");
    auto wide = pxLib::CStringImpl::Create();
    wide->SetWide(u"wide");
    auto memory = pxLib::CMemoryImpl::Create();
    memory->SetBytes({0, 1, 2});

    auto c = pxLib::pxTavKeyValueCollection::Create();
    c->SetEmpty(0);
    c->SetBool(1, true);
    c->SetInt8(2, -2);
    c->SetUInt8(3, 3);
    c->SetInt16(4, -4);
    c->SetUInt16(5, 5);
    c->SetInt32(6, -6);
    c->SetUInt32(7, 7);
    c->SetInt64(8, -8);
    c->SetUInt64(9, 9);
    c->SetDouble(10, 10.5);
    c->SetGuid(11, {11, 11, 11, {1, 1, 1, 1, 1, 1, 1, 1}});
    c->SetRecord16(12, {{12}});
    c->SetAnsiString(13, "thirteen");
    c->SetString(14, u"fourteen");
    c->SetBinary(15, "fifteen", 7);
    c->SetVariant(16, EveryVariant());
    c->SetObject(17, static_cast<pxLib::IPersistObject*>(nested.get()));
    c->SetObject(18, static_cast<pxLib::IPersistObject*>(narrow.get()));
    c->SetObject(19, static_cast<pxLib::IPersistObject*>(wide.get()));
    c->SetObject(20, static_cast<pxLib::IPersistObject*>(memory.get()));
    c->SetObject(21, static_cast<pxLib::IPersistObject*>(pxLib::CStringImpl::Create().get()));
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <archive corpus> <collection corpus>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path archiveFolder = argv[1];
    const std::filesystem::path collectionFolder = argv[2];
    std::filesystem::create_directories(archiveFolder);
    std::filesystem::create_directories(collectionFolder);

    bool ok = true;
    const std::vector<uint8_t> elements = EveryElement();
    for (uint8_t mode = 0; mode < 3; ++mode)
        ok &= WriteSeed(archiveFolder, "elements-" + std::to_string(mode), mode, elements);

    pxLib::CMemoryArchive variant(CArchive::Mode::Store);
    variant.WriteVariant(EveryVariant());
    ok &= WriteSeed(archiveFolder, "variants", 0, variant.Block());

    auto everything = EveryKind();
    const std::vector<uint8_t> saved = SavedBytes(*everything);
    ok &= !saved.empty() && WriteSeed(collectionFolder, "every-kind", 0, saved);
    ok &= WriteSeed(archiveFolder, "collection", 1, saved);

    everything->SetCacheSize(true);
    everything->SetOptionA(false);
    everything->SetCloneObjects(true);
    ok &= WriteSeed(collectionFolder, "every-kind-cached", 0, SavedBytes(*everything));

    pxLib::pxTavKeyValueCollection empty;
    ok &= WriteSeed(collectionFolder, "empty", 0, SavedBytes(empty));

    pxLib::pxTavIndexValueCollection list;
    list.SetString(0, u"x");
    list.SetEmpty(1);
    list.SetVariant(2, Variant::I4(7));
    list.SetObject(3, static_cast<pxLib::IPersistObject*>(EveryKind().get()));
    ok &= WriteSeed(collectionFolder, "index", 1, SavedBytes(list));

    if (!ok) std::fprintf(stderr, "could not write every seed\n");
    return ok ? 0 : 1;
}
