#include "collections/archive/Variant.h"

#include <cstring>

namespace pxLib {

uint32_t VariantScalarWidth(VariantType type) {
    switch (type) {
        case VariantType::I1:
        case VariantType::UI1:
            return 1;
        case VariantType::I2:
        case VariantType::Bool:
        case VariantType::UI2:
            return 2;
        case VariantType::I4:
        case VariantType::R4:
        case VariantType::UI4:
        case VariantType::Int:
        case VariantType::UInt:
            return 4;
        case VariantType::R8:
        case VariantType::Date:
        case VariantType::I8:
        case VariantType::UI8:
            return 8;
        default:
            return 0;
    }
}

Variant Variant::Scalar(VariantType type, uint64_t bits) {
    Variant v;
    const uint32_t width = VariantScalarWidth(type);
    if (width == 0) return v;
    v.m_type = type;
    v.m_bits = width == 8 ? bits : bits & ((uint64_t{1} << (8 * width)) - 1);
    return v;
}

Variant Variant::R4(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return Scalar(VariantType::R4, bits);
}

Variant Variant::R8(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    return Scalar(VariantType::R8, bits);
}

Variant Variant::Date(double value) {
    Variant v = R8(value);
    v.m_type = VariantType::Date;
    return v;
}

Variant Variant::Decimal(const VariantDecimal& value) {
    Variant v;
    v.m_type = VariantType::Decimal;
    v.m_decimal = value;
    return v;
}

Variant Variant::Bstr(std::u16string_view text) {
    std::vector<uint8_t> bytes(text.size() * 2);
    if (!text.empty()) std::memcpy(bytes.data(), text.data(), bytes.size());
    return BstrBytes(std::move(bytes));
}

Variant Variant::BstrBytes(std::vector<uint8_t> bytes) {
    Variant v;
    v.m_type = VariantType::Bstr;
    v.m_bytes = std::move(bytes);
    return v;
}

Variant Variant::ByteArray(std::vector<uint8_t> bytes) {
    Variant v;
    v.m_type = VariantType::ByteArray;
    v.m_bytes = std::move(bytes);
    return v;
}

Variant Variant::VariantArray(std::vector<Variant> elements) {
    Variant v;
    v.m_type = VariantType::VariantArray;
    v.m_elements = std::move(elements);
    return v;
}

double Variant::AsDouble() const {
    double value;
    std::memcpy(&value, &m_bits, 8);
    return value;
}

float Variant::AsFloat() const {
    const uint32_t bits = static_cast<uint32_t>(m_bits);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

std::u16string Variant::BstrText() const {
    std::u16string text(m_bytes.size() / 2, u'\0');
    if (!text.empty()) std::memcpy(&text[0], m_bytes.data(), text.size() * 2);
    return text;
}

bool Variant::IsStorableAt(uint32_t depth) const {
    if (depth > kMaxVariantNesting) return false;
    switch (m_type) {
        case VariantType::ByteArray:
            return !m_bytes.empty();
        case VariantType::VariantArray:
            for (const Variant& element : m_elements)
                if (!element.IsStorableAt(depth + 1)) return false;
            return true;
        case VariantType::Empty:
        case VariantType::Decimal:
        case VariantType::Bstr:
            return true;
        default:
            return VariantScalarWidth(m_type) != 0;
    }
}

bool operator==(const Variant& a, const Variant& b) {
    if (a.m_type != b.m_type) return false;
    switch (a.m_type) {
        case VariantType::Decimal:
            return a.m_decimal.scale == b.m_decimal.scale && a.m_decimal.sign == b.m_decimal.sign &&
                   a.m_decimal.hi32 == b.m_decimal.hi32 && a.m_decimal.lo64 == b.m_decimal.lo64;
        case VariantType::Bstr:
        case VariantType::ByteArray:
            return a.m_bytes == b.m_bytes;
        case VariantType::VariantArray:
            return a.m_elements == b.m_elements;
        default:
            return a.m_bits == b.m_bits;
    }
}

}  // namespace pxLib
