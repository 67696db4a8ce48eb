#include "text/Scalars.h"

#include "support/text/Utf.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace qvdpack::text {

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.c_str() + (hex ? 2 : 0);
    for (const char* p = begin; *p; ++p)
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(*p))
                  : std::isdigit(static_cast<unsigned char>(*p))))
            return false;
    if (*begin == '\0') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(begin, &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || parsed > max) return false;
    value = parsed;
    return true;
}

bool ParseSigned(const std::string& text, int64_t min, int64_t max, int64_t& value) {
    if (text.empty()) return false;
    const bool negative = text[0] == '-';
    uint64_t magnitude = 0;
    if (!ParseUnsigned(negative ? text.substr(1) : text, uint64_t{1} << 63, magnitude))
        return false;
    if (negative) {
        if (magnitude == uint64_t{1} << 63) {
            value = std::numeric_limits<int64_t>::min();
        } else {
            value = -static_cast<int64_t>(magnitude);
        }
    } else {
        if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
        value = static_cast<int64_t>(magnitude);
    }
    return value >= min && value <= max;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hex digits in pairs; "-" is the empty block.
bool ParseHex(const std::string& text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (text == "-") return true;
    if (text.empty() || text.size() % 2 != 0) return false;
    bytes.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return true;
}

bool ParseBits(const std::string& text, int hexDigits, uint64_t& bits) {
    if (text.size() != static_cast<size_t>(7 + hexDigits) || text.compare(0, 7, "bits:0x") != 0)
        return false;
    return ParseUnsigned(text.substr(5), ~uint64_t{0}, bits);
}

bool ParseDouble(const std::string& text, double& value) {
    uint64_t bits = 0;
    if (ParseBits(text, 16, bits)) {
        std::memcpy(&value, &bits, 8);
        return true;
    }
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value) && errno != ERANGE;
}

bool ParseFloat(const std::string& text, float& value) {
    uint64_t bits = 0;
    if (ParseBits(text, 8, bits)) {
        const uint32_t narrow = static_cast<uint32_t>(bits);
        std::memcpy(&value, &narrow, 4);
        return true;
    }
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value) && errno != ERANGE;
}

bool ParseGuid(const std::string& text, pxLib::Guid& guid) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (text.size() != 38 || text[0] != '{' || text[37] != '}') return false;
    uint8_t bytes[16];
    size_t b = 0;
    for (size_t i = 1; i < 37;) {
        if (i == 9 || i == 14 || i == 19 || i == 24) {
            if (text[i] != '-') return false;
            ++i;
            continue;
        }
        const int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes[b++] = static_cast<uint8_t>(high * 16 + low);
        i += 2;
    }
    guid.data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) |
                 (uint32_t{bytes[2]} << 8) | bytes[3];
    guid.data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    guid.data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    std::memcpy(guid.data4, bytes + 8, 8);
    return true;
}

bool ParseBool(const std::string& text, bool& value) {
    if (text == "true" || text == "1") {
        value = true;
        return true;
    }
    if (text == "false" || text == "0") {
        value = false;
        return true;
    }
    return false;
}

// Decodes one UTF-8 sequence at text[i]; false for ill-formed input.
bool NextCodePoint(const std::string& text, size_t& i, uint32_t& cp) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    uint32_t min = 0;
    if (lead < 0x80) {
        cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        cp = lead & 0x1F, extra = 1, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        cp = lead & 0x0F, extra = 2, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        cp = lead & 0x07, extra = 3, min = 0x10000;
    } else {
        return false;
    }
    if (text.size() - i - 1 < static_cast<size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (next & 0x3F);
    }
    if (extra != 0 && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) return false;
    i += 1 + extra;
    return true;
}

// A quoted UTF-16 text: UTF-8 with \\ \" \n \r \t and \uXXXX (one code unit).
bool DecodeWide(const std::string& body, std::u16string& out, std::string& why) {
    out.clear();
    for (size_t i = 0; i < body.size();) {
        if (body[i] == '\\') {
            if (i + 1 >= body.size()) return why = "bad escape", false;
            const char e = body[i + 1];
            i += 2;
            switch (e) {
                case '\\':
                    out.push_back(u'\\');
                    break;
                case '"':
                    out.push_back(u'"');
                    break;
                case 'n':
                    out.push_back(u'\n');
                    break;
                case 'r':
                    out.push_back(u'\r');
                    break;
                case 't':
                    out.push_back(u'\t');
                    break;
                case 'u': {
                    if (body.size() - i < 4) return why = "bad \\u escape", false;
                    uint32_t unit = 0;
                    for (int k = 0; k < 4; ++k) {
                        const int d = HexDigit(body[i + k]);
                        if (d < 0) return why = "bad \\u escape", false;
                        unit = unit * 16 + static_cast<uint32_t>(d);
                    }
                    if (unit == 0) return why = "a string cannot hold NUL", false;
                    out.push_back(static_cast<char16_t>(unit));
                    i += 4;
                    break;
                }
                default:
                    return why = "bad escape", false;
            }
            continue;
        }
        uint32_t cp = 0;
        if (!NextCodePoint(body, i, cp)) return why = "ill-formed UTF-8", false;
        if (cp == 0) return why = "a string cannot hold NUL", false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return true;
}

// A quoted single-byte text: printable ASCII with \\ \" \n \r \t and \xHH.
bool DecodeNarrow(const std::string& body, std::string& out, std::string& why) {
    out.clear();
    for (size_t i = 0; i < body.size();) {
        const unsigned char c = static_cast<unsigned char>(body[i]);
        if (c != '\\') {
            if (c < 0x20 || c >= 0x7F) return why = "use \\xHH for bytes outside ASCII", false;
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        if (i + 1 >= body.size()) return why = "bad escape", false;
        const char e = body[i + 1];
        i += 2;
        switch (e) {
            case '\\':
                out.push_back('\\');
                break;
            case '"':
                out.push_back('"');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'x': {
                if (body.size() - i < 2) return why = "bad \\x escape", false;
                const int high = HexDigit(body[i]), low = HexDigit(body[i + 1]);
                if (high < 0 || low < 0) return why = "bad \\x escape", false;
                if (high == 0 && low == 0) return why = "a string cannot hold NUL", false;
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                break;
            }
            default:
                return why = "bad escape", false;
        }
    }
    return true;
}

}  // namespace qvdpack::text
