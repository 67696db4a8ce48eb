// Executables for the benchmarks, written sparse: a PE32+ image of one section
// whose raw data ends where the benchmark wants it, and pieces of bytes at
// chosen offsets. Everything else is a hole of zeros that costs no disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

using Bytes = std::vector<uint8_t>;

// The headers in front of the one section's raw data.
constexpr uint64_t kImageHeadersSize = 0x400;

// Headers of an image whose one section's raw data runs from
// kImageHeadersSize to endOfRawData (at most 4 GiB).
Bytes ImageHeaders(uint64_t endOfRawData);

// bytes at offset, written repeat times one after another.
struct Piece {
    uint64_t offset;
    Bytes bytes;
    uint64_t repeat = 1;
};

// A new file of size bytes at path: zeros but for the pieces.
bool WriteSparseFile(const std::u16string& path, uint64_t size, const std::vector<Piece>& pieces);

}  // namespace bench
