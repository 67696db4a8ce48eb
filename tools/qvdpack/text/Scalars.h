// The scalar values of the collection text form: numbers, hex blocks,
// GUIDs, booleans and quoted strings with their escapes. Each reader bounds
// what it reads against the text it was given.
#pragma once

#include "collections/factory/ObjectModel.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qvdpack::text {

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t& value);
bool ParseSigned(const std::string& text, int64_t min, int64_t max, int64_t& value);
int HexDigit(char c);
bool ParseHex(const std::string& text, std::vector<uint8_t>& bytes);
bool ParseBits(const std::string& text, int hexDigits, uint64_t& bits);
bool ParseDouble(const std::string& text, double& value);
bool ParseFloat(const std::string& text, float& value);
bool ParseGuid(const std::string& text, pxLib::Guid& guid);
bool ParseBool(const std::string& text, bool& value);
bool NextCodePoint(const std::string& text, size_t& i, uint32_t& cp);
bool DecodeWide(const std::string& body, std::u16string& out, std::string& why);
bool DecodeNarrow(const std::string& body, std::string& out, std::string& why);

}  // namespace qvdpack::text
