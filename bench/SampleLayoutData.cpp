#include "SampleLayoutData.h"

#include "collections/values/KeyValueCollection.h"
#include "collections/archive/MemoryStream.h"

namespace bench {

std::vector<uint8_t> SampleLayoutData() {
    auto collection = pxLib::pxTavKeyValueCollection::Create();
    bool made = collection->SetUInt32(1001, 64) && collection->SetString(1002, u"7abcdef0");
    for (uint32_t key = 2000; key < 2100; ++key)
        made = made && collection->SetString(key, u"layout value");
    auto stream = pxLib::MemoryStream::Create();
    // Nothing rather than a sample that is not the one described.
    if (!made || !collection->Save(stream.get())) return {};
    return stream->Data();
}

}  // namespace bench
