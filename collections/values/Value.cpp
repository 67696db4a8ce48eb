#include "collections/values/Value.h"

#include "collections/values/Persist.h"

#include <memory>

namespace pxLib {

uint32_t Value::InPlaceWidth(uint8_t kind) {
    static const uint8_t kWidths[11] = {0, 1, 1, 1, 2, 2, 4, 4, 8, 8, 8};
    return kind < 11 ? kWidths[kind] : 0;
}

Value::Value(Value&& other) noexcept : m_bKind(other.m_bKind), m_qwInPlace(other.m_qwInPlace) {
    other.m_bKind = eKindEmpty;
    other.m_qwInPlace = 0;
}

Value& Value::operator=(Value&& other) noexcept {
    if (this != &other) {
        Clear();
        m_bKind = other.m_bKind;
        m_qwInPlace = other.m_qwInPlace;
        other.m_bKind = eKindEmpty;
        other.m_qwInPlace = 0;
    }
    return *this;
}

void Value::Clear() {
    switch (m_bKind) {
        case eKindGuid:
            delete m_pGuid;
            break;
        case eKindRecord16:
            delete m_pRecord;
            break;
        case eKindString:
            delete m_pString;
            break;
        case eKindWString:
            delete m_pWString;
            break;
        case eKindBinary:
            delete m_pBinary;
            break;
        case eKindVariant:
            delete m_pVariant;
            break;
        case eKindObject:
            delete m_pObject;  // releases the object
            break;
        default:
            break;
    }
    m_bKind = eKindEmpty;
    m_qwInPlace = 0;
}

void Value::SetInPlace(ValueKind kind, const void* payload) {
    const uint32_t width = InPlaceWidth(kind);
    if (width == 0) return;
    Clear();
    std::memcpy(&m_qwInPlace, payload, width);
    m_bKind = kind;
}

const void* Value::InPlace(ValueKind kind) const {
    return InPlaceWidth(kind) != 0 && m_bKind == kind ? &m_qwInPlace : nullptr;
}

void Value::SetGuid(const Guid& value) {
    auto owned = std::make_unique<Guid>(value);
    Clear();
    m_pGuid = owned.release();
    m_bKind = eKindGuid;
}

void Value::SetRecord16(const Record16& value) {
    auto owned = std::make_unique<Record16>(value);
    Clear();
    m_pRecord = owned.release();
    m_bKind = eKindRecord16;
}

void Value::SetString(std::string text) {
    auto owned = std::make_unique<std::string>(std::move(text));
    Clear();
    m_pString = owned.release();
    m_bKind = eKindString;
}

void Value::SetWString(std::u16string text) {
    auto owned = std::make_unique<std::u16string>(std::move(text));
    Clear();
    m_pWString = owned.release();
    m_bKind = eKindWString;
}

void Value::SetBinary(std::vector<uint8_t> block) {
    auto owned = std::make_unique<std::vector<uint8_t>>(std::move(block));
    Clear();
    m_pBinary = owned.release();
    m_bKind = eKindBinary;
}

void Value::SetVariant(Variant value) {
    auto owned = std::make_unique<Variant>(std::move(value));
    Clear();
    m_pVariant = owned.release();
    m_bKind = eKindVariant;
}

void Value::SetObject(RefPtr<IRefObject> object) {
    auto owned = std::make_unique<ObjectHolder>(ObjectHolder{std::move(object)});
    Clear();
    m_pObject = owned.release();
    m_bKind = eKindObject;
}

IRefObject* Value::AsObject() const {
    return Is(eKindObject) ? m_pObject->object.get() : nullptr;
}

bool Value::CopyFrom(const Value& other, bool cloneObjects) {
    if (&other == this) return true;
    switch (other.m_bKind) {
        case eKindEmpty:
            Clear();
            return true;
        case eKindGuid:
            SetGuid(*other.m_pGuid);
            return true;
        case eKindRecord16:
            SetRecord16(*other.m_pRecord);
            return true;
        case eKindString:
            SetString(*other.m_pString);
            return true;
        case eKindWString:
            SetWString(*other.m_pWString);
            return true;
        case eKindBinary:
            SetBinary(*other.m_pBinary);
            return true;
        case eKindVariant:
            SetVariant(*other.m_pVariant);
            return true;
        case eKindObject: {
            IRefObject* object = other.m_pObject->object.get();
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
            SetInPlace(other.Kind(), &other.m_qwInPlace);
            return true;
    }
}

}  // namespace pxLib
