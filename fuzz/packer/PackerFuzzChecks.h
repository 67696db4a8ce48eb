// What the packer fuzz targets check about a file, and the image they place
// packages behind (also used by the seed writer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace packerfuzz {

// Opens bytes as an executable and traps when the result does not hold together.
void CheckFile(const std::vector<uint8_t>& bytes);

// A small valid image with the package where the reader looks: selector bit 0
// clear puts four zero bytes in front, set puts a certificate entry of
// 16 + (selector >> 1) * 8 bytes in front.
std::vector<uint8_t> PlaceBehindImage(uint8_t selector, const uint8_t* package, size_t size);

}  // namespace packerfuzz
