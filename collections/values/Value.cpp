#include "collections/values/Value.h"

#include "collections/values/Persist.h"

#include <memory>

namespace pxLib {

uint32_t Value::InPlaceWidth(ValueKind kind) {
    static const uint8_t kWidths[11] = {0, 1, 1, 1, 2, 2, 4, 4, 8, 8, 8};
    return KindNumber(kind) < 11 ? kWidths[KindNumber(kind)] : 0;
}

Value::Value(Value&& other) noexcept : m_kind(other.m_kind), m_inPlace(other.m_inPlace) {
    other.m_kind = ValueKind::Empty;
    other.m_inPlace = 0;
}

Value& Value::operator=(Value&& other) noexcept {
    if (this != &other) {
        Clear();
        m_kind = other.m_kind;
        m_inPlace = other.m_inPlace;
        other.m_kind = ValueKind::Empty;
        other.m_inPlace = 0;
    }
    return *this;
}

void Value::Clear() {
    switch (m_kind) {
        case ValueKind::Guid:
            delete m_guid;
            break;
        case ValueKind::Record16:
            delete m_record;
            break;
        case ValueKind::String:
            delete m_string;
            break;
        case ValueKind::WString:
            delete m_wideString;
            break;
        case ValueKind::Binary:
            delete m_binary;
            break;
        case ValueKind::Variant:
            delete m_variant;
            break;
        case ValueKind::Object:
            delete m_object;  // releases the object
            break;
        default:
            break;
    }
    m_kind = ValueKind::Empty;
    m_inPlace = 0;
}

void Value::SetInPlace(ValueKind kind, const void* payload) {
    const uint32_t width = InPlaceWidth(kind);
    if (width == 0) return;
    Clear();
    std::memcpy(&m_inPlace, payload, width);
    m_kind = kind;
}

const void* Value::InPlace(ValueKind kind) const {
    return InPlaceWidth(kind) != 0 && m_kind == kind ? &m_inPlace : nullptr;
}

void Value::SetGuid(const Guid& value) {
    auto owned = std::make_unique<Guid>(value);
    Clear();
    m_guid = owned.release();
    m_kind = ValueKind::Guid;
}

void Value::SetRecord16(const Record16& value) {
    auto owned = std::make_unique<Record16>(value);
    Clear();
    m_record = owned.release();
    m_kind = ValueKind::Record16;
}

void Value::SetString(std::string text) {
    auto owned = std::make_unique<std::string>(std::move(text));
    Clear();
    m_string = owned.release();
    m_kind = ValueKind::String;
}

void Value::SetWString(std::u16string text) {
    auto owned = std::make_unique<std::u16string>(std::move(text));
    Clear();
    m_wideString = owned.release();
    m_kind = ValueKind::WString;
}

void Value::SetBinary(std::vector<uint8_t> block) {
    auto owned = std::make_unique<std::vector<uint8_t>>(std::move(block));
    Clear();
    m_binary = owned.release();
    m_kind = ValueKind::Binary;
}

void Value::SetVariant(Variant value) {
    auto owned = std::make_unique<Variant>(std::move(value));
    Clear();
    m_variant = owned.release();
    m_kind = ValueKind::Variant;
}

void Value::SetObject(RefPtr<IRefObject> object) {
    auto owned = std::make_unique<ObjectHolder>(ObjectHolder{std::move(object)});
    Clear();
    m_object = owned.release();
    m_kind = ValueKind::Object;
}

IRefObject* Value::AsObject() const {
    return Is(ValueKind::Object) ? m_object->object.get() : nullptr;
}

bool Value::CopyFrom(const Value& other, bool cloneObjects) {
    if (&other == this) return true;
    switch (other.m_kind) {
        case ValueKind::Empty:
            Clear();
            return true;
        case ValueKind::Guid:
            SetGuid(*other.m_guid);
            return true;
        case ValueKind::Record16:
            SetRecord16(*other.m_record);
            return true;
        case ValueKind::String:
            SetString(*other.m_string);
            return true;
        case ValueKind::WString:
            SetWString(*other.m_wideString);
            return true;
        case ValueKind::Binary:
            SetBinary(*other.m_binary);
            return true;
        case ValueKind::Variant:
            SetVariant(*other.m_variant);
            return true;
        case ValueKind::Object: {
            IRefObject* object = other.m_object->object.get();
            if (!cloneObjects || object == nullptr) {
                SetObject(RefPtr<IRefObject>(object));
                return true;
            }
            RefPtr<ICloneObject> cloneable;
            RefPtr<IRefObject> copy;
            if (!ObjSucceeded(QueryInto(object, IID_ICloneObject, cloneable)) ||
                !cloneable->Clone(copy) || !copy)
                return false;
            SetObject(std::move(copy));
            return true;
        }
        default:
            SetInPlace(other.Kind(), &other.m_inPlace);
            return true;
    }
}

}  // namespace pxLib
