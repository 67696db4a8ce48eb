// One slot of a value collection: a kind and an 8-byte payload that holds
// small values in place and owns everything larger.
#pragma once

#include "collections/archive/Archive.h"
#include "collections/factory/ObjectModel.h"
#include "collections/archive/Variant.h"

#include <string>
#include <vector>

namespace pxLib {

enum class ValueKind : uint8_t {
    Empty = 0,
    Bool = 1,
    Int8 = 2,
    UInt8 = 3,
    Int16 = 4,
    UInt16 = 5,
    Int32 = 6,
    UInt32 = 7,
    Int64 = 8,
    UInt64 = 9,
    Double = 10,
    Guid = 11,
    Record16 = 12,
    String = 13,   // single-byte text
    WString = 14,  // UTF-16 text
    Binary = 15,
    Variant = 16,
    Object = 17,  // a persistable object
};
constexpr uint8_t kValueKindCount = 18;

// The kind as a collection stores it: one byte.
constexpr uint8_t KindNumber(ValueKind kind) {
    return static_cast<uint8_t>(kind);
}

class Value {
public:
    Value() = default;
    ~Value() { Clear(); }
    Value(Value&& other) noexcept;
    Value& operator=(Value&& other) noexcept;
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;

    ValueKind Kind() const { return m_kind; }
    // Frees what the kind owns (releasing an object) and becomes empty.
    void Clear();

    // Bytes of the in-place kinds 1 to 10; 0 for the others.
    static uint32_t InPlaceWidth(ValueKind kind);

    // Setters replace the value; on an allocation failure (std::bad_alloc)
    // the old value stays.
    void SetInPlace(ValueKind kind, const void* payload);  // kinds 1 to 10
    void SetGuid(const Guid& value);
    void SetRecord16(const Record16& value);
    void SetString(std::string text);
    void SetWString(std::u16string text);
    void SetBinary(std::vector<uint8_t> block);
    void SetVariant(Variant value);
    void SetObject(RefPtr<IRefObject> object);

    // Null unless the value is of that kind.
    const void* InPlace(ValueKind kind) const;
    const Guid* AsGuid() const { return Is(ValueKind::Guid) ? m_guid : nullptr; }
    const Record16* AsRecord16() const { return Is(ValueKind::Record16) ? m_record : nullptr; }
    const std::string* AsString() const { return Is(ValueKind::String) ? m_string : nullptr; }
    const std::u16string* AsWString() const {
        return Is(ValueKind::WString) ? m_wideString : nullptr;
    }
    const std::vector<uint8_t>* AsBinary() const {
        return Is(ValueKind::Binary) ? m_binary : nullptr;
    }
    const Variant* AsVariant() const { return Is(ValueKind::Variant) ? m_variant : nullptr; }
    IRefObject* AsObject() const;

    // A copy of other. An object is shared (one more reference) or, with
    // cloneObjects, cloned through its clone interface; false when it cannot
    // be cloned. May throw std::bad_alloc.
    [[nodiscard]] bool CopyFrom(const Value& other, bool cloneObjects);

private:
    struct ObjectHolder {
        RefPtr<IRefObject> object;
    };

    [[nodiscard]] bool Is(ValueKind kind) const { return m_kind == kind; }

    ValueKind m_kind = ValueKind::Empty;
    union {
        uint64_t m_inPlace = 0;
        Guid* m_guid;
        Record16* m_record;
        std::string* m_string;
        std::u16string* m_wideString;
        std::vector<uint8_t>* m_binary;
        Variant* m_variant;
        ObjectHolder* m_object;
    };
};

}  // namespace pxLib
