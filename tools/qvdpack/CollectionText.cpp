// Parser and printer of the collection text form. The parser reads outside
// data: the input, every line, every number, string and hex block and the
// nesting depth are bounded before anything is allocated for them.
#include "CollectionText.h"

#include "collections/values/IndexValueCollection.h"
#include "collections/values/MemoryImpl.h"
#include "collections/values/StringImpl.h"
#include "support/text/Utf.h"

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <set>
#include <vector>

namespace qvdpack {
namespace {

using pxLib::CTavValueCollection;
using pxLib::CVariant;
using pxLib::RefPtr;

struct Token {
    bool quoted = false;
    std::string text;  // a quoted token keeps its escapes; they depend on the type
};

struct Line {
    size_t number = 0;
    std::vector<Token> tokens;
};

// --- Lexer ---

// No statement needs more words than this; a longer line is refused.
constexpr size_t kMaxTokensPerLine = 16;

// Hands out the text's lines one at a time, skipping blank and comment lines,
// so that memory grows with the collection and not with the text's words.
class CLexer {
public:
    explicit CLexer(std::string_view text) : m_text(text) {}

    // False at the end of the text or on an error (then failed is set).
    bool Next(Line& line, TextError& error, bool& failed) {
        failed = false;
        while (m_pos <= m_text.size() && !m_done) {
            size_t end = m_text.find('\n', m_pos);
            if (end == std::string_view::npos) end = m_text.size();
            std::string_view raw = m_text.substr(m_pos, end - m_pos);
            ++m_number;
            m_pos = end + 1;
            if (end == m_text.size()) m_done = true;
            if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
            line.number = m_number;
            line.tokens.clear();
            if (!Split(raw, line, error)) {
                failed = true;
                return false;
            }
            if (!line.tokens.empty()) return true;
        }
        return false;
    }

private:
    bool Split(std::string_view raw, Line& line, TextError& error) {
        size_t i = 0;
        while (i < raw.size()) {
            const char c = raw[i];
            if (c == ' ' || c == '\t') {
                ++i;
                continue;
            }
            if (c == '#') break;
            if (line.tokens.size() == kMaxTokensPerLine) {
                error = {line.number, "too many words on one line"};
                return false;
            }
            Token token;
            if (c == '"') {
                token.quoted = true;
                size_t j = i + 1;
                bool closed = false;
                while (j < raw.size()) {
                    if (raw[j] == '\\') {
                        if (j + 1 >= raw.size()) break;
                        j += 2;
                        continue;
                    }
                    if (raw[j] == '"') {
                        closed = true;
                        break;
                    }
                    ++j;
                }
                if (!closed) {
                    error = {line.number, "unterminated string"};
                    return false;
                }
                token.text.assign(raw.substr(i + 1, j - i - 1));
                i = j + 1;
            } else {
                size_t j = i;
                while (j < raw.size() && raw[j] != ' ' && raw[j] != '\t' && raw[j] != '"' &&
                       raw[j] != '#')
                    ++j;
                token.text.assign(raw.substr(i, j - i));
                i = j;
            }
            line.tokens.push_back(std::move(token));
        }
        return true;
    }

    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_number = 0;
    bool m_done = false;
};

// --- Scalars ---

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

// --- Parser ---

class CParser {
public:
    CParser(std::string_view text, TextError& error) : m_lexer(text), m_error(error) {}

    bool ParseTop(pxLib::pxTavKeyValueCollection& collection) {
        return ParseBlock(collection, false, 1);
    }

private:
    bool Fail(size_t line, std::string message) {
        m_error = {line, std::move(message)};
        return false;
    }

    static bool IsClose(const Line& line) {
        return line.tokens.size() == 1 && !line.tokens[0].quoted && line.tokens[0].text == "}";
    }

    // Entries up to the closing "}" (nested) or the end of the text (top).
    bool ParseBlock(CTavValueCollection& collection, bool isList, uint32_t depth) {
        const bool nested = depth > 1;
        bool first = true;
        uint64_t expectedIndex = 0;
        std::set<uint64_t> keys;
        Line line;
        bool failed = false;
        while (m_lexer.Next(line, m_error, failed)) {
            m_lastLine = line.number;
            const std::vector<Token>& t = line.tokens;
            if (IsClose(line)) {
                if (!nested) return Fail(line.number, "unexpected '}'");
                return true;
            }
            if (!t[0].quoted && t[0].text == "options") {
                if (!first) return Fail(line.number, "options must come first in a collection");
                if (!ParseOptions(line, collection)) return false;
                first = false;
                continue;
            }
            first = false;
            uint64_t key = 0;
            if (t[0].quoted || !ParseUnsigned(t[0].text, UINT32_MAX, key))
                return Fail(line.number, "a key is a number from 0 to 4294967295");
            if (isList) {
                if (key != expectedIndex)
                    return Fail(line.number, "list entries are numbered 0, 1, 2, ... in order");
                ++expectedIndex;
            } else if (!keys.insert(key).second) {
                return Fail(line.number, "key " + t[0].text + " appears twice");
            }
            if (t.size() < 2) return Fail(line.number, "a type must follow the key");
            if (!ParseValue(line, collection, key, depth)) return false;
        }
        if (failed) return false;
        if (nested) return Fail(m_lastLine, "missing '}'");
        return true;
    }

    bool ParseOptions(const Line& line, CTavValueCollection& collection) {
        for (size_t i = 1; i < line.tokens.size(); ++i) {
            const std::string& word = line.tokens[i].text;
            const size_t eq = word.find('=');
            bool value = false;
            if (line.tokens[i].quoted || eq == std::string::npos ||
                !ParseBool(word.substr(eq + 1), value))
                return Fail(line.number, "options are name=true or name=false");
            const std::string name = word.substr(0, eq);
            if (name == "optionA") {
                collection.SetOptionA(value);
            } else if (name == "cloneObjects") {
                collection.SetCloneObjects(value);
            } else if (name == "cacheSize") {
                collection.SetCacheSize(value);
            } else {
                return Fail(line.number, "unknown option " + name);
            }
        }
        return true;
    }

    bool Expect(const Line& line, size_t count) {
        if (line.tokens.size() == count) return true;
        return Fail(line.number, "expected " + std::to_string(count - 2) + " value word(s) after " +
                                     line.tokens[1].text);
    }

    bool Set(const Line& line, bool ok) {
        return ok || Fail(line.number, "the value cannot be stored (out of memory?)");
    }

    template <class T, class Setter>
    bool SignedValue(const Line& line, int64_t min, int64_t max, Setter set) {
        int64_t v = 0;
        if (!Expect(line, 3)) return false;
        if (line.tokens[2].quoted || !ParseSigned(line.tokens[2].text, min, max, v))
            return Fail(line.number, "not a number of type " + line.tokens[1].text);
        return Set(line, set(static_cast<T>(v)));
    }

    template <class T, class Setter>
    bool UnsignedValue(const Line& line, uint64_t max, Setter set) {
        uint64_t v = 0;
        if (!Expect(line, 3)) return false;
        if (line.tokens[2].quoted || !ParseUnsigned(line.tokens[2].text, max, v))
            return Fail(line.number, "not a number of type " + line.tokens[1].text);
        return Set(line, set(static_cast<T>(v)));
    }

    bool ParseValue(const Line& line, CTavValueCollection& c, uint64_t key, uint32_t depth) {
        const std::vector<Token>& t = line.tokens;
        const std::string& type = t[1].text;
        std::string why;
        if (t[1].quoted) return Fail(line.number, "a type is a word");
        if (type == "empty") return Expect(line, 2) && Set(line, c.SetEmpty(key));
        if (type == "bool") {
            bool v = false;
            if (!Expect(line, 3)) return false;
            if (t[2].quoted || !ParseBool(t[2].text, v)) return Fail(line.number, "not a bool");
            return Set(line, c.SetBool(key, v));
        }
        if (type == "int8")
            return SignedValue<int8_t>(line, INT8_MIN, INT8_MAX,
                                       [&](int8_t v) { return c.SetInt8(key, v); });
        if (type == "uint8")
            return UnsignedValue<uint8_t>(line, UINT8_MAX,
                                          [&](uint8_t v) { return c.SetUInt8(key, v); });
        if (type == "int16")
            return SignedValue<int16_t>(line, INT16_MIN, INT16_MAX,
                                        [&](int16_t v) { return c.SetInt16(key, v); });
        if (type == "uint16")
            return UnsignedValue<uint16_t>(line, UINT16_MAX,
                                           [&](uint16_t v) { return c.SetUInt16(key, v); });
        if (type == "int32")
            return SignedValue<int32_t>(line, INT32_MIN, INT32_MAX,
                                        [&](int32_t v) { return c.SetInt32(key, v); });
        if (type == "uint32")
            return UnsignedValue<uint32_t>(line, UINT32_MAX,
                                           [&](uint32_t v) { return c.SetUInt32(key, v); });
        if (type == "int64")
            return SignedValue<int64_t>(line, INT64_MIN, INT64_MAX,
                                        [&](int64_t v) { return c.SetInt64(key, v); });
        if (type == "uint64")
            return UnsignedValue<uint64_t>(line, UINT64_MAX,
                                           [&](uint64_t v) { return c.SetUInt64(key, v); });
        if (type == "double") {
            double v = 0;
            if (!Expect(line, 3)) return false;
            if (t[2].quoted || !ParseDouble(t[2].text, v))
                return Fail(line.number, "not a finite number (use bits:0x<16 hex digits>)");
            return Set(line, c.SetDouble(key, v));
        }
        if (type == "guid") {
            pxLib::Guid v{};
            if (!Expect(line, 3)) return false;
            if (t[2].quoted || !ParseGuid(t[2].text, v))
                return Fail(line.number, "a GUID is {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
            return Set(line, c.SetGuid(key, v));
        }
        if (type == "record16") {
            std::vector<uint8_t> bytes;
            if (!Expect(line, 3)) return false;
            if (t[2].quoted || !ParseHex(t[2].text, bytes) || bytes.size() != 16)
                return Fail(line.number, "a record16 is 32 hex digits");
            pxLib::Record16 record;
            std::memcpy(record.bytes, bytes.data(), 16);
            return Set(line, c.SetRecord16(key, record));
        }
        if (type == "ansi") {
            std::string v;
            if (!Expect(line, 3)) return false;
            if (!t[2].quoted) return Fail(line.number, "an ansi value is a quoted string");
            if (!DecodeNarrow(t[2].text, v, why)) return Fail(line.number, why);
            return Set(line, c.SetAnsiString(key, v));
        }
        if (type == "string") {
            std::u16string v;
            if (!Expect(line, 3)) return false;
            if (!t[2].quoted) return Fail(line.number, "a string value is quoted");
            if (!DecodeWide(t[2].text, v, why)) return Fail(line.number, why);
            return Set(line, c.SetString(key, v));
        }
        if (type == "binary") {
            std::vector<uint8_t> bytes;
            if (!Expect(line, 3)) return false;
            if (t[2].quoted || !ParseHex(t[2].text, bytes))
                return Fail(line.number, "binary is hex digits in pairs, or - when empty");
            return Set(line, c.SetBinary(key, bytes.data(), bytes.size()));
        }
        if (type == "variant") {
            CVariant v;
            if (!ParseVariant(line, 2, v, 1)) return false;
            if (!v.IsStorable()) return Fail(line.number, "this variant cannot be stored");
            return Set(line, c.SetVariant(key, v));
        }
        if (type == "collection" || type == "list") {
            if (line.tokens.size() != 3 || t[2].quoted || t[2].text != "{")
                return Fail(line.number, type + " must be followed by { at the end of the line");
            if (depth + 1 > pxLib::kMaxObjectNesting)
                return Fail(line.number, "collections nest too deep");
            RefPtr<CTavValueCollection> nested;
            if (type == "collection") {
                nested = RefPtr<CTavValueCollection>(new pxLib::pxTavKeyValueCollection);
            } else {
                nested = RefPtr<CTavValueCollection>(new pxLib::pxTavIndexValueCollection);
            }
            if (!ParseBlock(*nested, type == "list", depth + 1)) return false;
            return Set(line, c.SetObject(key, static_cast<pxLib::IPersistObject*>(nested.get())));
        }
        if (type == "stringobject") {
            if (depth + 1 > pxLib::kMaxObjectNesting)
                return Fail(line.number, "objects nest too deep");
            auto object = pxLib::CStringImpl::Create();
            if (t.size() == 3 && !t[2].quoted && t[2].text == "none") {
                object->SetNoString();
            } else if (t.size() == 4 && !t[2].quoted && t[3].quoted && t[2].text == "ansi") {
                std::string v;
                if (!DecodeNarrow(t[3].text, v, why)) return Fail(line.number, why);
                object->SetNarrow(v);
            } else if (t.size() == 4 && !t[2].quoted && t[3].quoted && t[2].text == "string") {
                std::u16string v;
                if (!DecodeWide(t[3].text, v, why)) return Fail(line.number, why);
                object->SetWide(v);
            } else {
                return Fail(line.number, "stringobject is none, ansi \"...\" or string \"...\"");
            }
            return Set(line, c.SetObject(key, static_cast<pxLib::IPersistObject*>(object.get())));
        }
        if (type == "memoryobject") {
            if (depth + 1 > pxLib::kMaxObjectNesting)
                return Fail(line.number, "objects nest too deep");
            std::vector<uint8_t> bytes;
            if (!Expect(line, 3)) return false;
            if (t[2].quoted || !ParseHex(t[2].text, bytes))
                return Fail(line.number, "memoryobject is hex digits in pairs, or - when empty");
            auto object = pxLib::CMemoryImpl::Create();
            object->SetBytes(std::move(bytes));
            return Set(line, c.SetObject(key, static_cast<pxLib::IPersistObject*>(object.get())));
        }
        return Fail(line.number, "unknown type " + type);
    }

    // A variant from tokens[at...] of line: "<vt> <value>" or "array {".
    bool ParseVariant(const Line& line, size_t at, CVariant& out, uint32_t depth) {
        const std::vector<Token>& t = line.tokens;
        if (depth > pxLib::kMaxVariantNesting)
            return Fail(line.number, "variant arrays nest too deep");
        if (t.size() <= at || t[at].quoted) return Fail(line.number, "a variant type must follow");
        const std::string& vt = t[at].text;
        const size_t values = t.size() - at - 1;
        auto word = [&](size_t i) -> const std::string& { return t[at + 1 + i].text; };
        auto one = [&]() {
            return values == 1 && !t[at + 1].quoted ? true
                                                    : Fail(line.number, vt + " takes one value");
        };
        int64_t s = 0;
        uint64_t u = 0;
        if (vt == "empty") {
            if (values != 0) return Fail(line.number, "empty takes no value");
            out = CVariant();
            return true;
        }
        struct IntType {
            const char* name;
            uint16_t type;
            bool isSigned;
            int64_t min;
            uint64_t max;
        };
        static const IntType kInts[] = {
            {"i1", pxLib::eVtI1, true, INT8_MIN, INT8_MAX},
            {"ui1", pxLib::eVtUI1, false, 0, UINT8_MAX},
            {"i2", pxLib::eVtI2, true, INT16_MIN, INT16_MAX},
            {"ui2", pxLib::eVtUI2, false, 0, UINT16_MAX},
            {"i4", pxLib::eVtI4, true, INT32_MIN, INT32_MAX},
            {"ui4", pxLib::eVtUI4, false, 0, UINT32_MAX},
            {"int", pxLib::eVtInt, true, INT32_MIN, INT32_MAX},
            {"uint", pxLib::eVtUInt, false, 0, UINT32_MAX},
            {"i8", pxLib::eVtI8, true, INT64_MIN, INT64_MAX},
            {"ui8", pxLib::eVtUI8, false, 0, UINT64_MAX},
        };
        for (const IntType& it : kInts) {
            if (vt != it.name) continue;
            if (!one()) return false;
            const uint32_t width = pxLib::VariantScalarWidth(it.type);
            const uint64_t mask = width == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1;
            if (it.isSigned) {
                if (!ParseSigned(word(0), it.min, static_cast<int64_t>(it.max), s))
                    return Fail(line.number, "not a number of type " + vt);
                out = CVariant::Scalar(it.type, static_cast<uint64_t>(s) & mask);
            } else {
                if (!ParseUnsigned(word(0), it.max, u))
                    return Fail(line.number, "not a number of type " + vt);
                out = CVariant::Scalar(it.type, u);
            }
            return true;
        }
        if (vt == "bool") {
            if (!one()) return false;
            if (word(0) == "true" || word(0) == "false") {
                out = CVariant::Bool(word(0) == "true");
            } else if (ParseUnsigned(word(0), UINT16_MAX, u)) {
                out = CVariant::Scalar(pxLib::eVtBool, u);  // a stored value other than 0 and -1
            } else {
                return Fail(line.number, "not a bool");
            }
            return true;
        }
        if (vt == "r4") {
            float f = 0;
            if (!one()) return false;
            if (!ParseFloat(word(0), f)) return Fail(line.number, "not a finite number");
            out = CVariant::R4(f);
            return true;
        }
        if (vt == "r8" || vt == "date") {
            double d = 0;
            if (!one()) return false;
            if (!ParseDouble(word(0), d)) return Fail(line.number, "not a finite number");
            out = vt == "r8" ? CVariant::R8(d) : CVariant::Date(d);
            return true;
        }
        if (vt == "decimal") {
            // scale sign hi32 lo64
            if (values != 4) return Fail(line.number, "decimal takes scale sign hi32 lo64");
            uint64_t scale = 0, sign = 0, hi = 0, lo = 0;
            if (!ParseUnsigned(word(0), UINT8_MAX, scale) ||
                !ParseUnsigned(word(1), UINT8_MAX, sign) ||
                !ParseUnsigned(word(2), UINT32_MAX, hi) || !ParseUnsigned(word(3), UINT64_MAX, lo))
                return Fail(line.number, "decimal takes scale sign hi32 lo64");
            pxLib::VariantDecimal decimal;
            decimal.scale = static_cast<uint8_t>(scale);
            decimal.sign = static_cast<uint8_t>(sign);
            decimal.hi32 = static_cast<uint32_t>(hi);
            decimal.lo64 = lo;
            out = CVariant::Decimal(decimal);
            return true;
        }
        if (vt == "bstr") {
            if (values != 1 || !t[at + 1].quoted)
                return Fail(line.number, "bstr takes a quoted string");
            std::u16string text;
            std::string why;
            if (!DecodeWide(word(0), text, why)) return Fail(line.number, why);
            out = CVariant::Bstr(text);
            return true;
        }
        if (vt == "bstrbytes" || vt == "bytes") {
            std::vector<uint8_t> bytes;
            if (!one()) return false;
            if (!ParseHex(word(0), bytes)) return Fail(line.number, "hex digits in pairs, or -");
            out = vt == "bytes" ? CVariant::ByteArray(std::move(bytes))
                                : CVariant::BstrBytes(std::move(bytes));
            return true;
        }
        if (vt == "array") {
            if (values != 1 || t[at + 1].quoted || word(0) != "{")
                return Fail(line.number, "array must be followed by { at the end of the line");
            std::vector<CVariant> elements;
            Line inner;
            bool failed = false;
            while (m_lexer.Next(inner, m_error, failed)) {
                m_lastLine = inner.number;
                if (IsClose(inner)) {
                    out = CVariant::VariantArray(std::move(elements));
                    return true;
                }
                CVariant element;
                if (!ParseVariant(inner, 0, element, depth + 1)) return false;
                elements.push_back(std::move(element));
            }
            return failed ? false : Fail(m_lastLine, "missing '}' of the array");
        }
        return Fail(line.number, "unknown variant type " + vt);
    }

    CLexer m_lexer;
    size_t m_lastLine = 0;
    TextError& m_error;
};

// --- Printer ---

const char kHexDigits[] = "0123456789abcdef";

std::string Hex(const uint8_t* bytes, size_t size) {
    if (size == 0) return "-";
    std::string text;
    text.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        text.push_back(kHexDigits[bytes[i] >> 4]);
        text.push_back(kHexDigits[bytes[i] & 15]);
    }
    return text;
}

std::string QuoteWide(const std::u16string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        switch (c) {
            case u'\\':
                out += "\\\\";
                continue;
            case u'"':
                out += "\\\"";
                continue;
            case u'\n':
                out += "\\n";
                continue;
            case u'\r':
                out += "\\r";
                continue;
            case u'\t':
                out += "\\t";
                continue;
            default:
                break;
        }
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
                          text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (pair) {
            out += pxLib::Utf16ToUtf8(text.substr(i, 2));
            ++i;
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c <= 0xDFFF)) {
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += pxLib::Utf16ToUtf8(std::u16string_view(&text[i], 1));
        }
    }
    return out + "\"";
}

std::string QuoteNarrow(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
            case '\\':
                out += "\\\\";
                continue;
            case '"':
                out += "\\\"";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\t':
                out += "\\t";
                continue;
            default:
                break;
        }
        if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\x%02x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

std::string DoubleText(double value) {
    if (std::isfinite(value)) {
        // The shortest text that reads back to the same bits.
        for (int digits = 15; digits <= 17; ++digits) {
            char text[40];
            std::snprintf(text, sizeof(text), "%.*g", digits, value);
            double back = 0;
            if (ParseDouble(text, back) && std::memcmp(&back, &value, 8) == 0) return text;
        }
    }
    uint64_t bits = 0;
    std::memcpy(&bits, &value, 8);
    char text[32];
    std::snprintf(text, sizeof(text), "bits:0x%016" PRIx64, bits);
    return text;
}

std::string FloatText(float value) {
    if (std::isfinite(value)) {
        for (int digits = 6; digits <= 9; ++digits) {
            char text[32];
            std::snprintf(text, sizeof(text), "%.*g", digits, static_cast<double>(value));
            float back = 0;
            if (ParseFloat(text, back) && std::memcmp(&back, &value, 4) == 0) return text;
        }
    }
    uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    char text[24];
    std::snprintf(text, sizeof(text), "bits:0x%08" PRIx32, bits);
    return text;
}

std::string GuidText(const pxLib::Guid& guid) {
    return pxLib::Utf16ToUtf8(pxLib::GuidToText(guid));
}

class CPrinter {
public:
    explicit CPrinter(std::string& error) : m_error(error) {}

    bool Block(CTavValueCollection& c, const std::vector<uint64_t>& ids, const std::string& indent,
               std::string& out) {
        out += indent + "options optionA=" + Bool(c.GetOptionA()) +
               " cloneObjects=" + Bool(c.GetCloneObjects()) +
               " cacheSize=" + Bool(c.GetCacheSize()) + "\n";
        for (uint64_t id : ids)
            if (!Entry(c, id, indent, out)) return false;
        return true;
    }

private:
    static std::string Bool(bool value) { return value ? "true" : "false"; }

    bool Fail(std::string message) {
        m_error = std::move(message);
        return false;
    }

    bool Entry(CTavValueCollection& c, uint64_t id, const std::string& indent, std::string& out) {
        std::string line = indent + std::to_string(id) + " ";
        switch (c.GetValueKind(id)) {
            case pxLib::eKindEmpty:
                line += "empty";
                break;
            case pxLib::eKindBool: {
                bool v = false;
                c.GetBool(id, v);
                line += "bool " + Bool(v);
                break;
            }
            case pxLib::eKindInt8: {
                int8_t v = 0;
                c.GetInt8(id, v);
                line += "int8 " + std::to_string(v);
                break;
            }
            case pxLib::eKindUInt8: {
                uint8_t v = 0;
                c.GetUInt8(id, v);
                line += "uint8 " + std::to_string(v);
                break;
            }
            case pxLib::eKindInt16: {
                int16_t v = 0;
                c.GetInt16(id, v);
                line += "int16 " + std::to_string(v);
                break;
            }
            case pxLib::eKindUInt16: {
                uint16_t v = 0;
                c.GetUInt16(id, v);
                line += "uint16 " + std::to_string(v);
                break;
            }
            case pxLib::eKindInt32: {
                int32_t v = 0;
                c.GetInt32(id, v);
                line += "int32 " + std::to_string(v);
                break;
            }
            case pxLib::eKindUInt32: {
                uint32_t v = 0;
                c.GetUInt32(id, v);
                line += "uint32 " + std::to_string(v);
                break;
            }
            case pxLib::eKindInt64: {
                int64_t v = 0;
                c.GetInt64(id, v);
                line += "int64 " + std::to_string(v);
                break;
            }
            case pxLib::eKindUInt64: {
                uint64_t v = 0;
                c.GetUInt64(id, v);
                line += "uint64 " + std::to_string(v);
                break;
            }
            case pxLib::eKindDouble: {
                double v = 0;
                c.GetDouble(id, v);
                line += "double " + DoubleText(v);
                break;
            }
            case pxLib::eKindGuid: {
                pxLib::Guid v{};
                c.GetGuid(id, v);
                line += "guid " + GuidText(v);
                break;
            }
            case pxLib::eKindRecord16: {
                pxLib::Record16 v{};
                c.GetRecord16(id, v);
                line += "record16 " + Hex(v.bytes, 16);
                break;
            }
            case pxLib::eKindString: {
                std::string v;
                c.GetAnsiString(id, v);
                line += "ansi " + QuoteNarrow(v);
                break;
            }
            case pxLib::eKindWString: {
                std::u16string v;
                c.GetString(id, v);
                line += "string " + QuoteWide(v);
                break;
            }
            case pxLib::eKindBinary: {
                std::vector<uint8_t> v;
                c.GetBinary(id, v);
                line += "binary " + Hex(v.data(), v.size());
                break;
            }
            case pxLib::eKindVariant: {
                CVariant v;
                c.GetVariant(id, v);
                line += "variant ";
                out += line;
                return Variant(v, indent, out);
            }
            case pxLib::eKindObject: {
                RefPtr<pxLib::IRefObject> object;
                c.GetObject(id, object);
                out += line;
                return Object(object.get(), indent, out);
            }
            default:
                return Fail("value of unknown kind at " + std::to_string(id));
        }
        out += line + "\n";
        return true;
    }

    bool Variant(const CVariant& v, const std::string& indent, std::string& out) {
        switch (v.Type()) {
            case pxLib::eVtEmpty:
                out += "empty\n";
                return true;
            case pxLib::eVtI1:
                out += "i1 " + std::to_string(static_cast<int8_t>(v.ScalarBits())) + "\n";
                return true;
            case pxLib::eVtUI1:
                out += "ui1 " + std::to_string(v.ScalarBits()) + "\n";
                return true;
            case pxLib::eVtI2:
                out += "i2 " + std::to_string(static_cast<int16_t>(v.ScalarBits())) + "\n";
                return true;
            case pxLib::eVtUI2:
                out += "ui2 " + std::to_string(v.ScalarBits()) + "\n";
                return true;
            case pxLib::eVtI4:
            case pxLib::eVtInt:
                out += std::string(v.Type() == pxLib::eVtI4 ? "i4 " : "int ") +
                       std::to_string(static_cast<int32_t>(v.ScalarBits())) + "\n";
                return true;
            case pxLib::eVtUI4:
            case pxLib::eVtUInt:
                out += std::string(v.Type() == pxLib::eVtUI4 ? "ui4 " : "uint ") +
                       std::to_string(v.ScalarBits()) + "\n";
                return true;
            case pxLib::eVtI8:
                out += "i8 " + std::to_string(static_cast<int64_t>(v.ScalarBits())) + "\n";
                return true;
            case pxLib::eVtUI8:
                out += "ui8 " + std::to_string(v.ScalarBits()) + "\n";
                return true;
            case pxLib::eVtBool: {
                const uint64_t bits = v.ScalarBits();
                out += "bool " +
                       (bits == 0xFFFF ? std::string("true")
                        : bits == 0    ? std::string("false")
                                       : std::to_string(bits)) +
                       "\n";
                return true;
            }
            case pxLib::eVtR4:
                out += "r4 " + FloatText(v.AsFloat()) + "\n";
                return true;
            case pxLib::eVtR8:
                out += "r8 " + DoubleText(v.AsDouble()) + "\n";
                return true;
            case pxLib::eVtDate:
                out += "date " + DoubleText(v.AsDouble()) + "\n";
                return true;
            case pxLib::eVtDecimal: {
                const pxLib::VariantDecimal& d = v.AsDecimal();
                out += "decimal " + std::to_string(d.scale) + " " + std::to_string(d.sign) + " " +
                       std::to_string(d.hi32) + " " + std::to_string(d.lo64) + "\n";
                return true;
            }
            case pxLib::eVtBstr: {
                const std::vector<uint8_t>& bytes = v.Bytes();
                const std::u16string text = v.BstrText();
                // Text only when it says everything: an even byte count and no NUL.
                if (bytes.size() % 2 == 0 && text.find(u'\0') == std::u16string::npos)
                    out += "bstr " + QuoteWide(text) + "\n";
                else
                    out += "bstrbytes " + Hex(bytes.data(), bytes.size()) + "\n";
                return true;
            }
            case pxLib::eVtByteArray:
                out += "bytes " + Hex(v.Bytes().data(), v.Bytes().size()) + "\n";
                return true;
            case pxLib::eVtVariantArray: {
                out += "array {\n";
                for (const CVariant& element : v.Elements()) {
                    out += indent + "    ";
                    if (!Variant(element, indent + "    ", out)) return false;
                }
                out += indent + "}\n";
                return true;
            }
            default:
                return Fail("variant type " + std::to_string(v.Type()) + " has no text form");
        }
    }

    bool Object(pxLib::IRefObject* object, const std::string& indent, std::string& out) {
        RefPtr<pxLib::IPersistObject> persist;
        pxLib::Guid classId{};
        if (!pxLib::ObjSucceeded(pxLib::QueryInto(object, pxLib::IID_IPersistObject, persist)) ||
            !persist || !persist->GetClassId(classId))
            return Fail("an object value that cannot persist itself");
        const bool known = classId == pxLib::CLSID_pxTavKeyValueCollection ||
                           classId == pxLib::CLSID_pxTavIndexValueCollection ||
                           classId == pxLib::CLSID_CStringImpl ||
                           classId == pxLib::CLSID_CMemoryImpl;
        if (!known) return Fail("an object of class " + GuidText(classId) + " has no text form");
        // The four classes answer their class id with the object itself, which
        // stays alive through persist; the reference the query adds is given back.
        void* self = nullptr;
        if (!pxLib::ObjSucceeded(object->QueryInterface(classId, &self)) || self == nullptr)
            return Fail("an object that does not answer its class id");
        persist->Release();

        if (classId == pxLib::CLSID_pxTavKeyValueCollection) {
            auto* nested = static_cast<pxLib::pxTavKeyValueCollection*>(self);
            out += "collection {\n";
            if (!Block(*nested, nested->GetKeys(), indent + "    ", out)) return false;
            out += indent + "}\n";
            return true;
        }
        if (classId == pxLib::CLSID_pxTavIndexValueCollection) {
            auto* nested = static_cast<pxLib::pxTavIndexValueCollection*>(self);
            std::vector<uint64_t> ids(static_cast<size_t>(nested->GetCount()));
            for (size_t i = 0; i < ids.size(); ++i) ids[i] = i;
            out += "list {\n";
            if (!Block(*nested, ids, indent + "    ", out)) return false;
            out += indent + "}\n";
            return true;
        }
        if (classId == pxLib::CLSID_CStringImpl) {
            const auto* text = static_cast<pxLib::CStringImpl*>(self);
            switch (text->GetStringType()) {
                case pxLib::CStringImpl::eNarrowString:
                    out += "stringobject ansi " + QuoteNarrow(text->GetNarrow()) + "\n";
                    return true;
                case pxLib::CStringImpl::eWideString:
                    out += "stringobject string " + QuoteWide(text->GetWide()) + "\n";
                    return true;
                default:
                    out += "stringobject none\n";
                    return true;
            }
        }
        const auto* memory = static_cast<pxLib::CMemoryImpl*>(self);
        out += "memoryobject " + Hex(memory->GetBytes().data(), memory->GetBytes().size()) + "\n";
        return true;
    }

    std::string& m_error;
};

}  // namespace

bool ParseCollectionText(std::string_view text, pxLib::pxTavKeyValueCollection& collection,
                         TextError& error) {
    collection.Clear();
    collection.SetOptionA(true);
    collection.SetCloneObjects(false);
    collection.SetCacheSize(false);
    if (text.size() > kMaxTextBytes) {
        error = {0, "the description is larger than 16 MiB"};
        return false;
    }
    try {
        CParser parser(text, error);
        if (parser.ParseTop(collection)) return true;
    } catch (const std::bad_alloc&) {
        error = {0, "out of memory"};
    }
    collection.Clear();
    return false;
}

bool DumpCollectionText(const pxLib::pxTavKeyValueCollection& collection, std::string& text,
                        std::string& error) {
    text = "# qvdpack collection text: <key> <type> <value>, see tools/qvdpack/README.md\n";
    auto& c = const_cast<pxLib::pxTavKeyValueCollection&>(collection);  // GetCacheSize is not const
    try {
        CPrinter printer(error);
        return printer.Block(c, c.GetKeys(), "", text);
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        return false;
    }
}

}  // namespace qvdpack
