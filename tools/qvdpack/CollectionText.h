// The readable text form of a key-value collection ("install.dat", layout
// data), written by hand and by the dump commands. Described in README.md.
#pragma once

#include "collections/values/KeyValueCollection.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace qvdpack {

// Larger descriptions are refused before anything is parsed.
constexpr size_t kMaxTextBytes = 16u * 1024 * 1024;

struct TextError {
    size_t line = 0;  // 1-based; 0 when the error has no line
    std::string message;
};

// Fills collection (cleared first) from UTF-8 text. On failure the collection
// is empty and error says where and why.
[[nodiscard]] bool ParseCollectionText(std::string_view text,
                                       pxLib::pxTavKeyValueCollection& collection,
                                       TextError& error);

// The text form of collection. False (with a reason) for a value that has no
// text form, such as a nested object of another class.
[[nodiscard]] bool DumpCollectionText(const pxLib::pxTavKeyValueCollection& collection,
                                      std::string& text, std::string& error);

}  // namespace qvdpack
