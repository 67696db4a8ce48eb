// The scalar values of the collection text form: numbers, hex blocks,
// GUIDs, booleans and quoted strings with their escapes. Each reader bounds
// what it reads against the text it was given.
#pragma once

#include "collections/factory/ObjectModel.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qvdpack::text {

[[nodiscard]] bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t& value);
[[nodiscard]] bool ParseSigned(const std::string& text, int64_t min, int64_t max, int64_t& value);
int HexDigit(char c);
[[nodiscard]] bool ParseHex(const std::string& text, std::vector<uint8_t>& bytes);
[[nodiscard]] bool ParseBits(const std::string& text, int hexDigits, uint64_t& bits);
[[nodiscard]] bool ParseDouble(const std::string& text, double& value);
[[nodiscard]] bool ParseFloat(const std::string& text, float& value);
[[nodiscard]] bool ParseGuid(const std::string& text, pxLib::Guid& guid);
[[nodiscard]] bool ParseBool(const std::string& text, bool& value);
[[nodiscard]] bool NextCodePoint(const std::string& text, size_t& i, uint32_t& cp);
[[nodiscard]] bool DecodeWide(const std::string& body, std::u16string& out, std::string& why);
[[nodiscard]] bool DecodeNarrow(const std::string& body, std::string& out, std::string& why);

}  // namespace qvdpack::text
