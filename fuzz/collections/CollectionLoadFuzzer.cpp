// A collection loaded from arbitrary bytes. What loads must save, measure as
// many bytes as it saves, and come back from its own bytes unchanged.
#include "collections/values/IndexValueCollection.h"
#include "collections/values/KeyValueCollection.h"
#include "collections/archive/MemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

pxLib::RefPtr<pxLib::ValueCollection> Make(bool keyed) {
    if (keyed) return pxLib::RefPtr<pxLib::ValueCollection>(new pxLib::pxTavKeyValueCollection);
    return pxLib::RefPtr<pxLib::ValueCollection>(new pxLib::pxTavIndexValueCollection);
}

std::vector<uint8_t> SaveOf(pxLib::ValueCollection& collection) {
    auto stream = pxLib::MemoryStream::Create();
    Check(collection.Save(stream.get()));
    uint64_t size = 0;
    Check(collection.GetSizeMax(size));
    Check(size == stream->Data().size());
    return stream->Data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool keyed = (data[0] & 1) == 0;
    auto stream = pxLib::MemoryStream::Create(std::vector<uint8_t>(data + 1, data + size));
    auto collection = Make(keyed);
    if (!collection->Load(stream.get())) {
        Check(collection->GetCount() == 0);
        return 0;
    }
    const std::vector<uint8_t> first = SaveOf(*collection);

    auto again = Make(keyed);
    auto firstStream = pxLib::MemoryStream::Create(first);
    Check(again->Load(firstStream.get()));
    Check(again->GetCount() == collection->GetCount());
    Check(SaveOf(*again) == first);
    return 0;
}
