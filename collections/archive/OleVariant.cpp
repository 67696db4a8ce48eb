#include "collections/archive/OleVariant.h"

#include "collections/archive/Archive.h"
#include "support/system/ComPtr.h"

#include <ocidl.h>

#include <cstring>
#include <new>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xBB04B542, 0xFD67, 0x4904, {0xA0, 0x9A, 0x3C, 0x8B, 0x58, 0x3E, 0x1E, 0x79}}};
enum class TraceEvent : uint16_t {
    OleTypeNotStorable = 1,
    OleConversionFailed = 2,
};

// One dimension, lower bound 0: the only arrays the archive stores.
bool VectorBounds(SAFEARRAY* array, ULONG& count) {
    LONG lower = 0;
    LONG upper = 0;
    if (array == nullptr || SafeArrayGetDim(array) != 1 ||
        FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)) || lower != 0 || upper < -1)
        return false;
    count = static_cast<ULONG>(upper + 1);
    return true;
}

bool OffersStreamPersistence(IUnknown* object) {
    if (object == nullptr) return false;
    ComPtr<IUnknown> persist;
    return SUCCEEDED(object->QueryInterface(IID_IPersistStream, persist.put_void())) ||
           SUCCEEDED(object->QueryInterface(IID_IPersistStreamInit, persist.put_void()));
}

bool IsStorableAt(const VARIANT& value, uint32_t depth) {
    if (depth > kMaxVariantNesting) return false;
    switch (value.vt) {
        case VT_EMPTY:
        case VT_DECIMAL:
        case VT_BSTR:
            return true;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return OffersStreamPersistence(value.punkVal);
        case VT_ARRAY | VT_UI1: {
            ULONG count;
            return VectorBounds(value.parray, count);
        }
        case VT_ARRAY | VT_VARIANT: {
            ULONG count;
            VARIANT* elements = nullptr;
            if (!VectorBounds(value.parray, count) ||
                FAILED(SafeArrayAccessData(value.parray, reinterpret_cast<void**>(&elements))))
                return false;
            bool storable = true;
            for (ULONG i = 0; i < count && storable; ++i)
                storable = IsStorableAt(elements[i], depth + 1);
            SafeArrayUnaccessData(value.parray);
            return storable;
        }
        default:
            return VariantScalarWidth(static_cast<VariantType>(value.vt)) != 0;
    }
}

bool FromOleAt(const VARIANT& value, Variant& out, uint32_t depth) {
    if (depth > kMaxVariantNesting) return false;
    const VariantType type = static_cast<VariantType>(value.vt);
    if (const uint32_t width = VariantScalarWidth(type)) {
        uint64_t bits = 0;
        std::memcpy(&bits, &value.llVal, width);
        out = Variant::Scalar(type, bits);
        return true;
    }
    switch (value.vt) {
        case VT_EMPTY:
            out = Variant();
            return true;
        case VT_DECIMAL: {
            VariantDecimal d;
            d.scale = value.decVal.scale;
            d.sign = value.decVal.sign;
            d.hi32 = value.decVal.Hi32;
            d.lo64 = value.decVal.Lo64;
            out = Variant::Decimal(d);
            return true;
        }
        case VT_BSTR: {
            const UINT size = value.bstrVal ? SysStringByteLen(value.bstrVal) : 0;
            const auto* bytes = reinterpret_cast<const uint8_t*>(value.bstrVal);
            out = Variant::BstrBytes(std::vector<uint8_t>(bytes, bytes + size));
            return true;
        }
        case VT_ARRAY | VT_UI1: {
            ULONG count;
            uint8_t* data = nullptr;
            if (!VectorBounds(value.parray, count) ||
                FAILED(SafeArrayAccessData(value.parray, reinterpret_cast<void**>(&data))))
                return false;
            std::vector<uint8_t> bytes(data, data + count);
            SafeArrayUnaccessData(value.parray);
            out = Variant::ByteArray(std::move(bytes));
            return true;
        }
        case VT_ARRAY | VT_VARIANT: {
            ULONG count;
            VARIANT* data = nullptr;
            if (!VectorBounds(value.parray, count) ||
                FAILED(SafeArrayAccessData(value.parray, reinterpret_cast<void**>(&data))))
                return false;
            std::vector<Variant> elements(count);
            bool converted = true;
            for (ULONG i = 0; i < count && converted; ++i)
                converted = FromOleAt(data[i], elements[i], depth + 1);
            SafeArrayUnaccessData(value.parray);
            if (converted) out = Variant::VariantArray(std::move(elements));
            return converted;
        }
        default:
            // Objects included: they may pass the checker but are never written.
            Trace(kTraceSource, TraceLevel::Warning, TraceEvent::OleTypeNotStorable,
                  uint32_t{value.vt});
            return false;
    }
}

SAFEARRAY* MakeVector(VARTYPE type, size_t count) {
    if (count > ULONG_MAX) return nullptr;
    return SafeArrayCreateVector(type, 0, static_cast<ULONG>(count));
}

bool ToOleAt(const Variant& value, VARIANT& out) {
    VariantInit(&out);
    if (const uint32_t width = VariantScalarWidth(value.Type())) {
        const uint64_t bits = value.ScalarBits();
        std::memcpy(&out.llVal, &bits, width);
        out.vt = TypeNumber(value.Type());
        return true;
    }
    switch (value.Type()) {
        case VariantType::Empty:
            return true;
        case VariantType::Decimal: {
            const VariantDecimal& d = value.AsDecimal();
            out.decVal.scale = d.scale;
            out.decVal.sign = d.sign;
            out.decVal.Hi32 = d.hi32;
            out.decVal.Lo64 = d.lo64;
            out.vt = VT_DECIMAL;  // last: it shares its word with the record
            return true;
        }
        case VariantType::Bstr: {
            const std::vector<uint8_t>& bytes = value.Bytes();
            if (bytes.size() > UINT_MAX) return false;
            BSTR text = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(bytes.data()),
                                              static_cast<UINT>(bytes.size()));
            if (text == nullptr) return false;
            out.bstrVal = text;
            out.vt = VT_BSTR;
            return true;
        }
        case VariantType::ByteArray: {
            const std::vector<uint8_t>& bytes = value.Bytes();
            SAFEARRAY* array = MakeVector(VT_UI1, bytes.size());
            void* data = nullptr;
            if (array == nullptr) return false;
            if (FAILED(SafeArrayAccessData(array, &data))) {
                SafeArrayDestroy(array);
                return false;
            }
            if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
            SafeArrayUnaccessData(array);
            out.parray = array;
            out.vt = VT_ARRAY | VT_UI1;
            return true;
        }
        case VariantType::VariantArray: {
            const std::vector<Variant>& elements = value.Elements();
            SAFEARRAY* array = MakeVector(VT_VARIANT, elements.size());
            VARIANT* data = nullptr;
            if (array == nullptr) return false;
            if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
                SafeArrayDestroy(array);
                return false;
            }
            bool converted = true;
            for (size_t i = 0; i < elements.size() && converted; ++i)
                converted = ToOleAt(elements[i], data[i]);
            SafeArrayUnaccessData(array);
            if (!converted) {
                SafeArrayDestroy(array);  // clears the elements made so far
                return false;
            }
            out.parray = array;
            out.vt = VT_ARRAY | VT_VARIANT;
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

bool IsStorableOleVariant(const VARIANT& value) {
    return IsStorableAt(value, 1);
}

bool FromOleVariant(const VARIANT& value, Variant& out) {
    try {
        return FromOleAt(value, out, 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ToOleVariant(const Variant& value, VARIANT& out) {
    if (ToOleAt(value, out)) return true;
    VariantInit(&out);
    return false;
}

bool CArchive::WriteVariant(const VARIANT& value) {
    if (!IsStoring()) return false;
    Variant portable;
    if (!IsStorableOleVariant(value) || !FromOleVariant(value, portable)) return false;
    return WriteVariant(portable);
}

bool CArchive::ReadVariant(VARIANT& value) {
    VariantClear(&value);
    uint64_t start;
    if (!IsLoading() || !GetPosition(start)) return false;
    const uint64_t byteCount = m_qwByteCount;
    Variant portable;
    if (!ReadVariant(portable)) return false;
    if (!ToOleVariant(portable, value)) {
        // Making the OLE value failed: the element counts as not read.
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::OleConversionFailed,
              uint32_t{TypeNumber(portable.Type())});
        m_qwByteCount = byteCount;
        SetPosition(start);
        return false;
    }
    return true;
}

}  // namespace pxLib
