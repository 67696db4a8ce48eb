// Writes a whole package in the current form: the header with its records,
// then each archive's bytes followed by its end marker.
#pragma once

#include "packer/FilePackerEx.h"

#include <string>
#include <vector>

namespace ZOLT {

struct PackageArchive {
    std::u16string id;  // not empty
    pxLib::Guid type;
    std::vector<uint8_t> bytes;  // at most 4 GiB - 1
};

// Writes at the stream's position. 0x80070057 for an empty id or an archive
// too large for its u32 size; otherwise the stream's failure.
[[nodiscard]] HRESULT WritePackage(const std::vector<PackageArchive>& archives,
                                   pxLib::IByteStream* stream);

// The same into a block of memory.
[[nodiscard]] HRESULT PackageBytes(const std::vector<PackageArchive>& archives,
                                   std::vector<uint8_t>& bytes);

}  // namespace ZOLT
