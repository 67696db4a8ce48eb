// A package-bearing executable from arbitrary bytes: the PE helper and the
// package reader over a memory stream. What opens must hold together: every
// record is found and extracted at its offset, a current-form list is what the
// writer writes for it, and layout data loads only from inside its archive.
#include "PackerFuzzChecks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    packerfuzz::CheckFile(std::vector<uint8_t>(data, data + size));
    return 0;
}
