// Reads the collection text form into a collection.
#pragma once

#include "CollectionText.h"

namespace qvdpack::text {

// Raises std::bad_alloc when memory runs out; the caller clears the collection on failure.
[[nodiscard]] bool ParseCollection(std::string_view text,
                                   pxLib::pxTavKeyValueCollection& collection, TextError& error);

}  // namespace qvdpack::text
