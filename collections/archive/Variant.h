// The portable form of a VARIANT as the archive stores it: only the variant
// types the format knows can be held. Windows code converts from and to the
// OLE type in OleVariant.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pxLib {

// Numbers as the platform's VARTYPE spells them.
enum class VariantType : uint16_t {
    Empty = 0,
    I2 = 2,
    I4 = 3,
    R4 = 4,
    R8 = 5,
    Date = 7,
    Bstr = 8,
    Bool = 11,
    Decimal = 14,
    I1 = 16,
    UI1 = 17,
    UI2 = 18,
    UI4 = 19,
    I8 = 20,
    UI8 = 21,
    Int = 22,
    UInt = 23,
    ArrayFlag = 0x2000,
    VariantArray = 0x200C,  // one-dimensional, lower bound 0
    ByteArray = 0x2011,     // one-dimensional, lower bound 0
};

// The type as the archive and the platform store it.
constexpr uint16_t TypeNumber(VariantType type) {
    return static_cast<uint16_t>(type);
}

// Bytes of a scalar type's payload; 0 for every other type.
uint32_t VariantScalarWidth(VariantType type);

// Arrays of variants nest; deeper data is refused on both writing and reading
// so that the reader's recursion stays bounded.
constexpr uint32_t kMaxVariantNesting = 64;

// The DECIMAL record without its first word, which repeats the variant type.
struct VariantDecimal {
    uint8_t scale = 0;
    uint8_t sign = 0;
    uint32_t hi32 = 0;
    uint64_t lo64 = 0;
};

class Variant {
public:
    Variant() = default;  // VT_EMPTY

    static Variant Scalar(VariantType type, uint64_t bits);  // type must be a scalar type
    static Variant I1(int8_t v) { return Scalar(VariantType::I1, static_cast<uint8_t>(v)); }
    static Variant UI1(uint8_t v) { return Scalar(VariantType::UI1, v); }
    static Variant I2(int16_t v) { return Scalar(VariantType::I2, static_cast<uint16_t>(v)); }
    static Variant UI2(uint16_t v) { return Scalar(VariantType::UI2, v); }
    static Variant Bool(bool v) {
        return Scalar(VariantType::Bool, v ? 0xFFFF : 0);
    }  // VARIANT_TRUE is -1
    static Variant I4(int32_t v) { return Scalar(VariantType::I4, static_cast<uint32_t>(v)); }
    static Variant UI4(uint32_t v) { return Scalar(VariantType::UI4, v); }
    static Variant Int(int32_t v) { return Scalar(VariantType::Int, static_cast<uint32_t>(v)); }
    static Variant UInt(uint32_t v) { return Scalar(VariantType::UInt, v); }
    static Variant I8(int64_t v) { return Scalar(VariantType::I8, static_cast<uint64_t>(v)); }
    static Variant UI8(uint64_t v) { return Scalar(VariantType::UI8, v); }
    static Variant R4(float v);
    static Variant R8(double v);
    static Variant Date(double v);
    static Variant Decimal(const VariantDecimal& v);
    static Variant Bstr(std::u16string_view text);
    // A BSTR may hold an odd number of bytes; the archive keeps them as they are.
    static Variant BstrBytes(std::vector<uint8_t> bytes);
    static Variant ByteArray(std::vector<uint8_t> bytes);
    static Variant VariantArray(std::vector<Variant> elements);

    VariantType Type() const { return m_type; }
    // The payload of a scalar type, zero-extended.
    uint64_t ScalarBits() const { return m_bits; }
    double AsDouble() const;  // VT_R8 and VT_DATE
    float AsFloat() const;    // VT_R4
    const VariantDecimal& AsDecimal() const { return m_decimal; }
    // The bytes of a VT_BSTR or of a VT_UI1 array.
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    std::u16string BstrText() const;  // an odd last byte is dropped
    const std::vector<Variant>& Elements() const { return m_elements; }

    // True when the archive can write this value: every element is storable, no
    // byte array is empty (it could not be read back) and nesting is bounded.
    [[nodiscard]] bool IsStorable() const { return IsStorableAt(1); }

    friend bool operator==(const Variant& a, const Variant& b);
    friend bool operator!=(const Variant& a, const Variant& b) { return !(a == b); }

private:
    [[nodiscard]] bool IsStorableAt(uint32_t depth) const;

    VariantType m_type = VariantType::Empty;
    uint64_t m_bits = 0;
    VariantDecimal m_decimal;
    std::vector<uint8_t> m_bytes;
    std::vector<Variant> m_elements;
};

}  // namespace pxLib
