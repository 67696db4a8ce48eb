// Makes the data that an installer builder appends behind an executable's
// last section part of that section. The package reader looks for the
// certificate table right behind the last section's raw data, and a signer
// appends the table at the end of the file; once the appended data belongs to
// the section, both places are the same.
#pragma once

#include <cstdint>
#include <vector>

namespace qvdsample {

enum class FoldResult : uint8_t {
    Folded,         // the last section now ends with the file
    NothingToFold,  // the file already ended with its last section
    NotAnImage,     // not a PE32 or PE32+ image whose headers lie inside the file
    Signed,         // folding would break the signature: fold before signing
    Unsupported,    // the last section header is not the last section in the file or memory
};

// Folds what follows the last section into it, padded with zeros to the file
// alignment; the section's virtual size and the image size grow to match, so
// the loader maps a consistent image. The bytes before the old end of the file
// stay where they were.
FoldResult FoldOverlay(std::vector<uint8_t>& image);

const char* Describe(FoldResult result);

}  // namespace qvdsample
