// The package list from arbitrary bytes, placed where the reader looks behind
// a valid image: the first byte chooses an unsigned image (four zero bytes) or
// a signed one (the package behind a certificate entry), the rest is the
// package. Spends the fuzzer's effort on the records rather than the headers.
#include "PackerFuzzChecks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    packerfuzz::CheckFile(packerfuzz::PlaceBehindImage(data[0], data + 1, size - 1));
    return 0;
}
