// The printer of the collection text form.
#include "text/Printer.h"

#include "text/Scalars.h"

#include "collections/values/IndexValueCollection.h"
#include "collections/values/MemoryImpl.h"
#include "collections/values/StringImpl.h"
#include "support/text/Utf.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace qvdpack::text {
namespace {

using pxLib::RefPtr;
using pxLib::ValueCollection;
using pxLib::Variant;

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

class Printer {
public:
    explicit Printer(std::string& error) : m_error(error) {}

    bool Block(ValueCollection& c, const std::vector<uint64_t>& ids, const std::string& indent,
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

    // A value whose kind was just read and that still cannot be read.
    bool Unreadable(uint64_t id) {
        return Fail("value at " + std::to_string(id) + " cannot be read");
    }

    bool Fail(std::string message) {
        m_error = std::move(message);
        return false;
    }

    bool Entry(ValueCollection& c, uint64_t id, const std::string& indent, std::string& out) {
        std::string line = indent + std::to_string(id) + " ";
        switch (c.GetValueKind(id)) {
            case pxLib::ValueKind::Empty:
                line += "empty";
                break;
            case pxLib::ValueKind::Bool: {
                bool v = false;
                if (!c.GetBool(id, v)) return Unreadable(id);
                line += "bool " + Bool(v);
                break;
            }
            case pxLib::ValueKind::Int8: {
                int8_t v = 0;
                if (!c.GetInt8(id, v)) return Unreadable(id);
                line += "int8 " + std::to_string(v);
                break;
            }
            case pxLib::ValueKind::UInt8: {
                uint8_t v = 0;
                if (!c.GetUInt8(id, v)) return Unreadable(id);
                line += "uint8 " + std::to_string(v);
                break;
            }
            case pxLib::ValueKind::Int16: {
                int16_t v = 0;
                if (!c.GetInt16(id, v)) return Unreadable(id);
                line += "int16 " + std::to_string(v);
                break;
            }
            case pxLib::ValueKind::UInt16: {
                uint16_t v = 0;
                if (!c.GetUInt16(id, v)) return Unreadable(id);
                line += "uint16 " + std::to_string(v);
                break;
            }
            case pxLib::ValueKind::Int32: {
                int32_t v = 0;
                if (!c.GetInt32(id, v)) return Unreadable(id);
                line += "int32 " + std::to_string(v);
                break;
            }
            case pxLib::ValueKind::UInt32: {
                uint32_t v = 0;
                if (!c.GetUInt32(id, v)) return Unreadable(id);
                line += "uint32 " + std::to_string(v);
                break;
            }
            case pxLib::ValueKind::Int64: {
                int64_t v = 0;
                if (!c.GetInt64(id, v)) return Unreadable(id);
                line += "int64 " + std::to_string(v);
                break;
            }
            case pxLib::ValueKind::UInt64: {
                uint64_t v = 0;
                if (!c.GetUInt64(id, v)) return Unreadable(id);
                line += "uint64 " + std::to_string(v);
                break;
            }
            case pxLib::ValueKind::Double: {
                double v = 0;
                if (!c.GetDouble(id, v)) return Unreadable(id);
                line += "double " + DoubleText(v);
                break;
            }
            case pxLib::ValueKind::Guid: {
                pxLib::Guid v{};
                if (!c.GetGuid(id, v)) return Unreadable(id);
                line += "guid " + GuidText(v);
                break;
            }
            case pxLib::ValueKind::Record16: {
                pxLib::Record16 v{};
                if (!c.GetRecord16(id, v)) return Unreadable(id);
                line += "record16 " + Hex(v.bytes, 16);
                break;
            }
            case pxLib::ValueKind::String: {
                std::string v;
                if (!c.GetAnsiString(id, v)) return Unreadable(id);
                line += "ansi " + QuoteNarrow(v);
                break;
            }
            case pxLib::ValueKind::WString: {
                std::u16string v;
                if (!c.GetString(id, v)) return Unreadable(id);
                line += "string " + QuoteWide(v);
                break;
            }
            case pxLib::ValueKind::Binary: {
                std::vector<uint8_t> v;
                if (!c.GetBinary(id, v)) return Unreadable(id);
                line += "binary " + Hex(v.data(), v.size());
                break;
            }
            case pxLib::ValueKind::Variant: {
                Variant v;
                if (!c.GetVariant(id, v)) return Unreadable(id);
                line += "variant ";
                out += line;
                return VariantText(v, indent, out);
            }
            case pxLib::ValueKind::Object: {
                RefPtr<pxLib::IRefObject> object;
                if (!c.GetObject(id, object)) return Unreadable(id);
                out += line;
                return Object(object.get(), indent, out);
            }
            default:
                return Fail("value of unknown kind at " + std::to_string(id));
        }
        out += line + "\n";
        return true;
    }

    bool VariantText(const Variant& v, const std::string& indent, std::string& out) {
        switch (v.Type()) {
            case pxLib::VariantType::Empty:
                out += "empty\n";
                return true;
            case pxLib::VariantType::I1:
                out += "i1 " + std::to_string(static_cast<int8_t>(v.ScalarBits())) + "\n";
                return true;
            case pxLib::VariantType::UI1:
                out += "ui1 " + std::to_string(v.ScalarBits()) + "\n";
                return true;
            case pxLib::VariantType::I2:
                out += "i2 " + std::to_string(static_cast<int16_t>(v.ScalarBits())) + "\n";
                return true;
            case pxLib::VariantType::UI2:
                out += "ui2 " + std::to_string(v.ScalarBits()) + "\n";
                return true;
            case pxLib::VariantType::I4:
            case pxLib::VariantType::Int:
                out += std::string(v.Type() == pxLib::VariantType::I4 ? "i4 " : "int ") +
                       std::to_string(static_cast<int32_t>(v.ScalarBits())) + "\n";
                return true;
            case pxLib::VariantType::UI4:
            case pxLib::VariantType::UInt:
                out += std::string(v.Type() == pxLib::VariantType::UI4 ? "ui4 " : "uint ") +
                       std::to_string(v.ScalarBits()) + "\n";
                return true;
            case pxLib::VariantType::I8:
                out += "i8 " + std::to_string(static_cast<int64_t>(v.ScalarBits())) + "\n";
                return true;
            case pxLib::VariantType::UI8:
                out += "ui8 " + std::to_string(v.ScalarBits()) + "\n";
                return true;
            case pxLib::VariantType::Bool: {
                const uint64_t bits = v.ScalarBits();
                out += "bool " +
                       (bits == 0xFFFF ? std::string("true")
                        : bits == 0    ? std::string("false")
                                       : std::to_string(bits)) +
                       "\n";
                return true;
            }
            case pxLib::VariantType::R4:
                out += "r4 " + FloatText(v.AsFloat()) + "\n";
                return true;
            case pxLib::VariantType::R8:
                out += "r8 " + DoubleText(v.AsDouble()) + "\n";
                return true;
            case pxLib::VariantType::Date:
                out += "date " + DoubleText(v.AsDouble()) + "\n";
                return true;
            case pxLib::VariantType::Decimal: {
                const pxLib::VariantDecimal& d = v.AsDecimal();
                out += "decimal " + std::to_string(d.scale) + " " + std::to_string(d.sign) + " " +
                       std::to_string(d.hi32) + " " + std::to_string(d.lo64) + "\n";
                return true;
            }
            case pxLib::VariantType::Bstr: {
                const std::vector<uint8_t>& bytes = v.Bytes();
                const std::u16string text = v.BstrText();
                // Text only when it says everything: an even byte count and no NUL.
                if (bytes.size() % 2 == 0 && text.find(u'\0') == std::u16string::npos)
                    out += "bstr " + QuoteWide(text) + "\n";
                else
                    out += "bstrbytes " + Hex(bytes.data(), bytes.size()) + "\n";
                return true;
            }
            case pxLib::VariantType::ByteArray:
                out += "bytes " + Hex(v.Bytes().data(), v.Bytes().size()) + "\n";
                return true;
            case pxLib::VariantType::VariantArray: {
                out += "array {\n";
                for (const Variant& element : v.Elements()) {
                    out += indent + "    ";
                    if (!VariantText(element, indent + "    ", out)) return false;
                }
                out += indent + "}\n";
                return true;
            }
            default:
                return Fail("variant type " + std::to_string(pxLib::TypeNumber(v.Type())) +
                            " has no text form");
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
        if (classId == pxLib::CLSID_pxTavKeyValueCollection) {
            const auto nested = AsClass<pxLib::pxTavKeyValueCollection>(object, classId);
            if (!nested) return NotItsClass();
            out += "collection {\n";
            if (!Block(*nested, nested->GetKeys(), indent + "    ", out)) return false;
            out += indent + "}\n";
            return true;
        }
        if (classId == pxLib::CLSID_pxTavIndexValueCollection) {
            const auto nested = AsClass<pxLib::pxTavIndexValueCollection>(object, classId);
            if (!nested) return NotItsClass();
            std::vector<uint64_t> ids(static_cast<size_t>(nested->GetCount()));
            for (size_t i = 0; i < ids.size(); ++i) ids[i] = i;
            out += "list {\n";
            if (!Block(*nested, ids, indent + "    ", out)) return false;
            out += indent + "}\n";
            return true;
        }
        if (classId == pxLib::CLSID_CStringImpl) {
            const auto text = AsClass<pxLib::CStringImpl>(object, classId);
            if (!text) return NotItsClass();
            switch (text->GetStringType()) {
                case pxLib::CStringImpl::StringType::Narrow:
                    out += "stringobject ansi " + QuoteNarrow(text->GetNarrow()) + "\n";
                    return true;
                case pxLib::CStringImpl::StringType::Wide:
                    out += "stringobject string " + QuoteWide(text->GetWide()) + "\n";
                    return true;
                default:
                    out += "stringobject none\n";
                    return true;
            }
        }
        const auto memory = AsClass<pxLib::CMemoryImpl>(object, classId);
        if (!memory) return NotItsClass();
        out += "memoryobject " + Hex(memory->GetBytes().data(), memory->GetBytes().size()) + "\n";
        return true;
    }

    // The four classes answer their class id with the object itself.
    template <class T>
    static RefPtr<T> AsClass(pxLib::IRefObject* object, const pxLib::Guid& classId) {
        void* self = nullptr;
        if (!pxLib::ObjSucceeded(object->QueryInterface(classId, &self)) || self == nullptr)
            return nullptr;
        return RefPtr<T>::Attach(static_cast<T*>(self));
    }
    bool NotItsClass() { return Fail("an object that does not answer its class id"); }

    std::string& m_error;
};

}  // namespace

bool PrintCollection(pxLib::pxTavKeyValueCollection& collection, std::string& text,
                     std::string& error) {
    Printer printer(error);
    return printer.Block(collection, collection.GetKeys(), "", text);
}

}  // namespace qvdpack::text
