// One slot of a value collection: a kind and an 8-byte payload that holds
// small values in place and owns everything larger.
#pragma once

#include "collections/archive/Archive.h"
#include "collections/factory/ObjectModel.h"
#include "collections/archive/Variant.h"

#include <string>
#include <vector>

namespace pxLib {

enum ValueKind : uint8_t {
    eKindEmpty = 0,
    eKindBool = 1,
    eKindInt8 = 2,
    eKindUInt8 = 3,
    eKindInt16 = 4,
    eKindUInt16 = 5,
    eKindInt32 = 6,
    eKindUInt32 = 7,
    eKindInt64 = 8,
    eKindUInt64 = 9,
    eKindDouble = 10,
    eKindGuid = 11,
    eKindRecord16 = 12,
    eKindString = 13,   // single-byte text
    eKindWString = 14,  // UTF-16 text
    eKindBinary = 15,
    eKindVariant = 16,
    eKindObject = 17,  // a persistable object
};
constexpr uint8_t kValueKindCount = 18;

class Value {
public:
    Value() = default;
    ~Value() { Clear(); }
    Value(Value&& other) noexcept;
    Value& operator=(Value&& other) noexcept;
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;

    ValueKind Kind() const { return static_cast<ValueKind>(m_kind); }
    // Frees what the kind owns (releasing an object) and becomes empty.
    void Clear();

    // Bytes of the in-place kinds 1 to 10; 0 for the others.
    static uint32_t InPlaceWidth(uint8_t kind);

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
    const Guid* AsGuid() const { return Is(eKindGuid) ? m_guid : nullptr; }
    const Record16* AsRecord16() const { return Is(eKindRecord16) ? m_record : nullptr; }
    const std::string* AsString() const { return Is(eKindString) ? m_string : nullptr; }
    const std::u16string* AsWString() const { return Is(eKindWString) ? m_wideString : nullptr; }
    const std::vector<uint8_t>* AsBinary() const { return Is(eKindBinary) ? m_binary : nullptr; }
    const Variant* AsVariant() const { return Is(eKindVariant) ? m_variant : nullptr; }
    IRefObject* AsObject() const;

    // A copy of other. An object is shared (one more reference) or, with
    // cloneObjects, cloned through its clone interface; false when it cannot
    // be cloned. May throw std::bad_alloc.
    bool CopyFrom(const Value& other, bool cloneObjects);

private:
    struct ObjectHolder {
        RefPtr<IRefObject> object;
    };

    bool Is(ValueKind kind) const { return m_kind == kind; }

    uint8_t m_kind = eKindEmpty;
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
