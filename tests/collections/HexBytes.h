// Byte sequences in tests, written and compared as spaced hexadecimal text
// ("03 07000000") so that a mismatch shows where it is.
#pragma once

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace qvdtest {

inline std::vector<uint8_t> FromHex(const std::string& text) {
    std::vector<uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        const int digit = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    return bytes;
}

// Without spaces, so that expectations may group digits as they like.
inline std::string ToHex(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 15]);
    }
    return text;
}

inline std::string Hex(const std::string& spaced) {
    return ToHex(FromHex(spaced));
}

}  // namespace qvdtest
