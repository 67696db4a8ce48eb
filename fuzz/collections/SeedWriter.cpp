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

// Whether every write that makes up the seeds succeeded: a seed made from a
// failed write is not the form it is named after.
bool g_stored = true;
void Store(bool ok) {
    g_stored = g_stored && ok;
}

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
    Store(archive.WriteUInt8(1));
    Store(archive.WriteUInt16(2));
    Store(archive.WriteUInt32(3));
    Store(archive.WriteUInt64(4));
    Store(archive.WriteDouble(5.5));
    Store(archive.WriteInt32(-6));
    Store(archive.WriteString("seven"));
    Store(archive.WriteWString(u"eight"));
    Store(archive.WriteBinary(block, 6));
    Store(archive.WriteBool(true));
    Store(archive.WriteVariant(EveryVariant()));
    Store(archive.WriteInt8(-12));
    Store(archive.WriteInt16(-13));
    Store(archive.WriteInt64(-14));
    Store(archive.WriteGuid(guid));
    Store(archive.WriteRecord16(record));
    return archive.Block();
}

RefPtr<pxLib::pxTavKeyValueCollection> EveryKind() {
    auto inner = pxLib::pxTavIndexValueCollection::Create();
    Store(inner->SetString(0, u"first"));
    Store(inner->SetUInt64(1, 42));
    auto nested = pxLib::pxTavKeyValueCollection::Create();
    Store(nested->SetCacheSize(true));
    Store(nested->SetInt32(1, -7));
    Store(nested->SetObject(2, static_cast<pxLib::IPersistObject*>(inner.get())));
    auto narrow = pxLib::CStringImpl::Create();
    narrow->SetNarrow("narrow");
    auto wide = pxLib::CStringImpl::Create();
    wide->SetWide(u"wide");
    auto memory = pxLib::CMemoryImpl::Create();
    memory->SetBytes({0, 1, 2});

    auto c = pxLib::pxTavKeyValueCollection::Create();
    Store(c->SetEmpty(0));
    Store(c->SetBool(1, true));
    Store(c->SetInt8(2, -2));
    Store(c->SetUInt8(3, 3));
    Store(c->SetInt16(4, -4));
    Store(c->SetUInt16(5, 5));
    Store(c->SetInt32(6, -6));
    Store(c->SetUInt32(7, 7));
    Store(c->SetInt64(8, -8));
    Store(c->SetUInt64(9, 9));
    Store(c->SetDouble(10, 10.5));
    Store(c->SetGuid(11, {11, 11, 11, {1, 1, 1, 1, 1, 1, 1, 1}}));
    Store(c->SetRecord16(12, {{12}}));
    Store(c->SetAnsiString(13, "thirteen"));
    Store(c->SetString(14, u"fourteen"));
    Store(c->SetBinary(15, "fifteen", 7));
    Store(c->SetVariant(16, EveryVariant()));
    Store(c->SetObject(17, static_cast<pxLib::IPersistObject*>(nested.get())));
    Store(c->SetObject(18, static_cast<pxLib::IPersistObject*>(narrow.get())));
    Store(c->SetObject(19, static_cast<pxLib::IPersistObject*>(wide.get())));
    Store(c->SetObject(20, static_cast<pxLib::IPersistObject*>(memory.get())));
    Store(
        c->SetObject(21, static_cast<pxLib::IPersistObject*>(pxLib::CStringImpl::Create().get())));
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
    Store(variant.WriteVariant(EveryVariant()));
    ok &= WriteSeed(archiveFolder, "variants", 0, variant.Block());

    auto everything = EveryKind();
    const std::vector<uint8_t> saved = SavedBytes(*everything);
    ok &= !saved.empty() && WriteSeed(collectionFolder, "every-kind", 0, saved);
    ok &= WriteSeed(archiveFolder, "collection", 1, saved);

    Store(everything->SetCacheSize(true));
    everything->SetOptionA(false);
    everything->SetCloneObjects(true);
    ok &= WriteSeed(collectionFolder, "every-kind-cached", 0, SavedBytes(*everything));

    pxLib::pxTavKeyValueCollection empty;
    ok &= WriteSeed(collectionFolder, "empty", 0, SavedBytes(empty));

    pxLib::pxTavIndexValueCollection list;
    Store(list.SetString(0, u"x"));
    Store(list.SetEmpty(1));
    Store(list.SetVariant(2, Variant::I4(7)));
    Store(list.SetObject(3, static_cast<pxLib::IPersistObject*>(EveryKind().get())));
    ok &= WriteSeed(collectionFolder, "index", 1, SavedBytes(list));

    ok &= g_stored;
    if (!ok) std::fprintf(stderr, "could not write every seed\n");
    return ok ? 0 : 1;
}
