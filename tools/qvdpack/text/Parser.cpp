// The parser of the collection text form. It reads outside data: the input,
// every line, every number, string and hex block and the nesting depth are
// bounded before anything is allocated for them.
#include "text/Parser.h"

#include "text/Lexer.h"
#include "text/Scalars.h"

#include "collections/values/IndexValueCollection.h"
#include "collections/values/MemoryImpl.h"
#include "collections/values/StringImpl.h"
#include "support/text/Utf.h"

#include <cstring>
#include <set>
#include <vector>

namespace qvdpack::text {
namespace {

using pxLib::RefPtr;
using pxLib::ValueCollection;
using pxLib::Variant;

class Parser {
public:
    Parser(std::string_view text, TextError& error) : m_lexer(text), m_error(error) {}

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
    bool ParseBlock(ValueCollection& collection, bool isList, uint32_t depth) {
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

    bool ParseOptions(const Line& line, ValueCollection& collection) {
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
                if (!collection.SetCacheSize(value))
                    return Fail(line.number, "the cacheSize option cannot be set");
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

    bool ParseValue(const Line& line, ValueCollection& c, uint64_t key, uint32_t depth) {
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
            Variant v;
            if (!ParseVariant(line, 2, v, 1)) return false;
            if (!v.IsStorable()) return Fail(line.number, "this variant cannot be stored");
            return Set(line, c.SetVariant(key, v));
        }
        if (type == "collection" || type == "list") {
            if (line.tokens.size() != 3 || t[2].quoted || t[2].text != "{")
                return Fail(line.number, type + " must be followed by { at the end of the line");
            if (depth + 1 > pxLib::kMaxObjectNesting)
                return Fail(line.number, "collections nest too deep");
            RefPtr<ValueCollection> nested;
            if (type == "collection") {
                nested = RefPtr<ValueCollection>(new pxLib::pxTavKeyValueCollection);
            } else {
                nested = RefPtr<ValueCollection>(new pxLib::pxTavIndexValueCollection);
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
    bool ParseVariant(const Line& line, size_t at, Variant& out, uint32_t depth) {
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
            out = Variant();
            return true;
        }
        struct IntType {
            const char* name;
            pxLib::VariantType type;
            bool isSigned;
            int64_t min;
            uint64_t max;
        };
        static const IntType kInts[] = {
            {"i1", pxLib::VariantType::I1, true, INT8_MIN, INT8_MAX},
            {"ui1", pxLib::VariantType::UI1, false, 0, UINT8_MAX},
            {"i2", pxLib::VariantType::I2, true, INT16_MIN, INT16_MAX},
            {"ui2", pxLib::VariantType::UI2, false, 0, UINT16_MAX},
            {"i4", pxLib::VariantType::I4, true, INT32_MIN, INT32_MAX},
            {"ui4", pxLib::VariantType::UI4, false, 0, UINT32_MAX},
            {"int", pxLib::VariantType::Int, true, INT32_MIN, INT32_MAX},
            {"uint", pxLib::VariantType::UInt, false, 0, UINT32_MAX},
            {"i8", pxLib::VariantType::I8, true, INT64_MIN, INT64_MAX},
            {"ui8", pxLib::VariantType::UI8, false, 0, UINT64_MAX},
        };
        for (const IntType& it : kInts) {
            if (vt != it.name) continue;
            if (!one()) return false;
            const uint32_t width = pxLib::VariantScalarWidth(it.type);
            const uint64_t mask = width == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * width)) - 1;
            if (it.isSigned) {
                if (!ParseSigned(word(0), it.min, static_cast<int64_t>(it.max), s))
                    return Fail(line.number, "not a number of type " + vt);
                out = Variant::Scalar(it.type, static_cast<uint64_t>(s) & mask);
            } else {
                if (!ParseUnsigned(word(0), it.max, u))
                    return Fail(line.number, "not a number of type " + vt);
                out = Variant::Scalar(it.type, u);
            }
            return true;
        }
        if (vt == "bool") {
            if (!one()) return false;
            if (word(0) == "true" || word(0) == "false") {
                out = Variant::Bool(word(0) == "true");
            } else if (ParseUnsigned(word(0), UINT16_MAX, u)) {
                out = Variant::Scalar(pxLib::VariantType::Bool,
                                      u);  // a stored value other than 0 and -1
            } else {
                return Fail(line.number, "not a bool");
            }
            return true;
        }
        if (vt == "r4") {
            float f = 0;
            if (!one()) return false;
            if (!ParseFloat(word(0), f)) return Fail(line.number, "not a finite number");
            out = Variant::R4(f);
            return true;
        }
        if (vt == "r8" || vt == "date") {
            double d = 0;
            if (!one()) return false;
            if (!ParseDouble(word(0), d)) return Fail(line.number, "not a finite number");
            out = vt == "r8" ? Variant::R8(d) : Variant::Date(d);
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
            out = Variant::Decimal(decimal);
            return true;
        }
        if (vt == "bstr") {
            if (values != 1 || !t[at + 1].quoted)
                return Fail(line.number, "bstr takes a quoted string");
            std::u16string text;
            std::string why;
            if (!DecodeWide(word(0), text, why)) return Fail(line.number, why);
            out = Variant::Bstr(text);
            return true;
        }
        if (vt == "bstrbytes" || vt == "bytes") {
            std::vector<uint8_t> bytes;
            if (!one()) return false;
            if (!ParseHex(word(0), bytes)) return Fail(line.number, "hex digits in pairs, or -");
            out = vt == "bytes" ? Variant::ByteArray(std::move(bytes))
                                : Variant::BstrBytes(std::move(bytes));
            return true;
        }
        if (vt == "array") {
            if (values != 1 || t[at + 1].quoted || word(0) != "{")
                return Fail(line.number, "array must be followed by { at the end of the line");
            std::vector<Variant> elements;
            Line inner;
            bool failed = false;
            while (m_lexer.Next(inner, m_error, failed)) {
                m_lastLine = inner.number;
                if (IsClose(inner)) {
                    out = Variant::VariantArray(std::move(elements));
                    return true;
                }
                Variant element;
                if (!ParseVariant(inner, 0, element, depth + 1)) return false;
                elements.push_back(std::move(element));
            }
            return failed ? false : Fail(m_lastLine, "missing '}' of the array");
        }
        return Fail(line.number, "unknown variant type " + vt);
    }

    Lexer m_lexer;
    size_t m_lastLine = 0;
    TextError& m_error;
};

}  // namespace

bool ParseCollection(std::string_view text, pxLib::pxTavKeyValueCollection& collection,
                     TextError& error) {
    Parser parser(text, error);
    return parser.ParseTop(collection);
}

}  // namespace qvdpack::text
