// Writes a collection in the collection text form.
#pragma once

#include "collections/values/KeyValueCollection.h"

#include <string>

namespace qvdpack::text {

// Appends the text of collection to text. Raises std::bad_alloc when memory
// runs out; false (with a reason) for a value that has no text form.
[[nodiscard]] bool PrintCollection(pxLib::pxTavKeyValueCollection& collection, std::string& text,
                                   std::string& error);

}  // namespace qvdpack::text
