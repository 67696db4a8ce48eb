// The text form of collections (tools/qvdpack) from arbitrary bytes. What
// parses must save, print, and parse back to the same saved bytes.
#include "CollectionText.h"
#include "collections/archive/MemoryStream.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

std::vector<uint8_t> Saved(pxLib::pxTavKeyValueCollection& collection) {
    auto stream = pxLib::MemoryStream::Create();
    Check(collection.Save(stream.get()));
    return stream->Data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    pxLib::pxTavKeyValueCollection collection;
    qvdpack::TextError error;
    if (!qvdpack::ParseCollectionText(text, collection, error)) {
        Check(collection.GetCount() == 0 && !error.message.empty());
        return 0;
    }
    const std::vector<uint8_t> saved = Saved(collection);
    std::string printed, why;
    Check(qvdpack::DumpCollectionText(collection, printed, why));
    pxLib::pxTavKeyValueCollection again;
    Check(qvdpack::ParseCollectionText(printed, again, error));
    Check(Saved(again) == saved);
    return 0;
}
