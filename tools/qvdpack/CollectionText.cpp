// The collection text form's two entry points; the lexer, the scalar
// readers, the parser and the printer live in text/.
#include "CollectionText.h"

#include "text/Parser.h"
#include "text/Printer.h"

#include <new>

namespace qvdpack {

bool ParseCollectionText(std::string_view text, pxLib::pxTavKeyValueCollection& collection,
                         TextError& error) {
    collection.Clear();
    collection.SetOptionA(true);
    collection.SetCloneObjects(false);
    if (!collection.SetCacheSize(false)) {
        error = {0, "the collection's options cannot be set"};
        return false;
    }
    if (text.size() > kMaxTextBytes) {
        error = {0, "the description is larger than 16 MiB"};
        return false;
    }
    try {
        if (text::ParseCollection(text, collection, error)) return true;
    } catch (const std::bad_alloc&) {
        error = {0, "out of memory"};
    }
    collection.Clear();
    return false;
}

bool DumpCollectionText(const pxLib::pxTavKeyValueCollection& collection, std::string& text,
                        std::string& error) {
    text = "# qvdpack collection text: <key> <type> <value>, see tools/qvdpack/README.md\n";
    auto& c = const_cast<pxLib::pxTavKeyValueCollection&>(collection);  // GetCacheSize is not const
    try {
        return text::PrintCollection(c, text, error);
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        return false;
    }
}

}  // namespace qvdpack