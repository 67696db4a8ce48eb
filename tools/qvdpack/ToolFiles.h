// File helpers of the tool: bounded reads, collection files and layout data.
#pragma once

#include "collections/values/KeyValueCollection.h"

#include <string>
#include <vector>

namespace qvdpack {

// The whole file, refused when larger than maxBytes.
[[nodiscard]] bool ReadFileBytes(const std::u16string& path, uint64_t maxBytes,
                                 std::vector<uint8_t>& bytes, std::string& error);

// A collection file such as "install.dat".
[[nodiscard]] bool LoadCollectionFile(const std::u16string& path,
                                      pxLib::pxTavKeyValueCollection& collection,
                                      std::string& error);
// The saved form of collection, and that form written to path in one step.
[[nodiscard]] bool SavedCollection(pxLib::pxTavKeyValueCollection& collection,
                                   std::vector<uint8_t>& bytes, std::string& error);
[[nodiscard]] bool SaveCollectionFile(const std::u16string& path,
                                      pxLib::pxTavKeyValueCollection& collection,
                                      std::string& error);
// A text description parsed from a file.
[[nodiscard]] bool ParseCollectionFile(const std::u16string& path,
                                       pxLib::pxTavKeyValueCollection& collection,
                                       std::string& error);
// The layout data archive ("FDELayoutData") of an executable's package.
[[nodiscard]] bool LoadLayoutData(const std::u16string& path,
                                  pxLib::pxTavKeyValueCollection& collection, std::string& error);

}  // namespace qvdpack
