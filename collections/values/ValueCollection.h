// What the key-value and the index-value collections share: the header state
// and its persisted form, the typed accessors over one slot per id (a key or
// an index), and the body that lists the slots.
#pragma once

#include "collections/values/PersistObjectBase.h"
#include "collections/values/Value.h"
#include "support/errors/GuardedCall.h"

#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace pxLib {

class ValueCollection : public PersistObjectBase {
public:
    // --- Header state ---
    // A persisted option flag of no further meaning here; true by default.
    [[nodiscard]] bool GetOptionA() const { return m_bOptionA; }
    void SetOptionA(bool value);
    // Whether copying an object value clones the object instead of sharing it.
    [[nodiscard]] bool GetCloneObjects() const { return m_bCloneObjects; }
    void SetCloneObjects(bool value);

    // --- Values ---
    virtual uint64_t GetCount() const = 0;
    // ValueKind::Empty when there is no value at id.
    ValueKind GetValueKind(uint64_t id) const;
    // Payload bytes; a kind-13 value asked for as UTF-16 takes twice as many.
    uint32_t GetValueSize(uint64_t id) const;
    [[nodiscard]] virtual bool Remove(uint64_t id) = 0;
    void Clear();

    // Setters replace the value at id (false when id cannot hold a value or
    // memory runs out); getters fail unless the value is of their kind.
    [[nodiscard]] bool SetEmpty(uint64_t id);
    [[nodiscard]] bool SetBool(uint64_t id, bool value);
    [[nodiscard]] bool GetBool(uint64_t id, bool& value) const;
    [[nodiscard]] bool SetInt8(uint64_t id, int8_t value) {
        return SetInPlace(id, ValueKind::Int8, value);
    }
    [[nodiscard]] bool GetInt8(uint64_t id, int8_t& value) const {
        return GetInPlace(id, ValueKind::Int8, value);
    }
    [[nodiscard]] bool SetUInt8(uint64_t id, uint8_t value) {
        return SetInPlace(id, ValueKind::UInt8, value);
    }
    [[nodiscard]] bool GetUInt8(uint64_t id, uint8_t& value) const {
        return GetInPlace(id, ValueKind::UInt8, value);
    }
    [[nodiscard]] bool SetInt16(uint64_t id, int16_t value) {
        return SetInPlace(id, ValueKind::Int16, value);
    }
    [[nodiscard]] bool GetInt16(uint64_t id, int16_t& value) const {
        return GetInPlace(id, ValueKind::Int16, value);
    }
    [[nodiscard]] bool SetUInt16(uint64_t id, uint16_t value) {
        return SetInPlace(id, ValueKind::UInt16, value);
    }
    [[nodiscard]] bool GetUInt16(uint64_t id, uint16_t& value) const {
        return GetInPlace(id, ValueKind::UInt16, value);
    }
    [[nodiscard]] bool SetInt32(uint64_t id, int32_t value) {
        return SetInPlace(id, ValueKind::Int32, value);
    }
    [[nodiscard]] bool GetInt32(uint64_t id, int32_t& value) const {
        return GetInPlace(id, ValueKind::Int32, value);
    }
    [[nodiscard]] bool SetUInt32(uint64_t id, uint32_t value) {
        return SetInPlace(id, ValueKind::UInt32, value);
    }
    [[nodiscard]] bool GetUInt32(uint64_t id, uint32_t& value) const {
        return GetInPlace(id, ValueKind::UInt32, value);
    }
    [[nodiscard]] bool SetInt64(uint64_t id, int64_t value) {
        return SetInPlace(id, ValueKind::Int64, value);
    }
    [[nodiscard]] bool GetInt64(uint64_t id, int64_t& value) const {
        return GetInPlace(id, ValueKind::Int64, value);
    }
    [[nodiscard]] bool SetUInt64(uint64_t id, uint64_t value) {
        return SetInPlace(id, ValueKind::UInt64, value);
    }
    [[nodiscard]] bool GetUInt64(uint64_t id, uint64_t& value) const {
        return GetInPlace(id, ValueKind::UInt64, value);
    }
    [[nodiscard]] bool SetDouble(uint64_t id, double value) {
        return SetInPlace(id, ValueKind::Double, value);
    }
    [[nodiscard]] bool GetDouble(uint64_t id, double& value) const {
        return GetInPlace(id, ValueKind::Double, value);
    }
    [[nodiscard]] bool SetGuid(uint64_t id, const Guid& value);
    [[nodiscard]] bool GetGuid(uint64_t id, Guid& value) const;
    [[nodiscard]] bool SetRecord16(uint64_t id, const Record16& value);
    [[nodiscard]] bool GetRecord16(uint64_t id, Record16& value) const;
    // Kind 13, single-byte text; it ends at its first NUL, as when persisted.
    [[nodiscard]] bool SetAnsiString(uint64_t id, std::string_view text);
    [[nodiscard]] bool GetAnsiString(uint64_t id, std::string& text) const;
    // Kind 14, UTF-16 text; it ends at its first NUL, as when persisted.
    [[nodiscard]] bool SetString(uint64_t id, std::u16string_view text);
    // Kind 14, or kind 13 widened byte by byte.
    [[nodiscard]] bool GetString(uint64_t id, std::u16string& text) const;
    [[nodiscard]] bool SetBinary(uint64_t id, const void* data, size_t size);
    [[nodiscard]] bool GetBinary(uint64_t id, std::vector<uint8_t>& block) const;
    [[nodiscard]] bool SetVariant(uint64_t id, const Variant& value);
    [[nodiscard]] bool GetVariant(uint64_t id, Variant& value) const;
    // Holds a reference to object; it must be persistable for a save to succeed.
    [[nodiscard]] bool SetObject(uint64_t id, IRefObject* object);
    [[nodiscard]] bool SetObject(uint64_t id, IPersistObject* object) {
        return SetObject(id, static_cast<IRefObject*>(object));
    }
    [[nodiscard]] bool GetObject(uint64_t id, RefPtr<IRefObject>& object) const;

    // The whole persisted form (header and body) at the archive's position.
    [[nodiscard]] bool SaveTo(CArchive& archive) override;
    // Clears, then reads; a failure leaves the collection empty.
    [[nodiscard]] bool LoadFrom(CArchive& archive) override;

protected:
    explicit ValueCollection(const Guid& classId) : PersistObjectBase(classId) {}

    virtual const Value* FindSlot(uint64_t id) const = 0;
    // The slot for id, made if absent; null when id cannot hold a value.
    virtual Value* MakeSlot(uint64_t id) = 0;
    virtual void ClearValues() = 0;
    // Whether the count and every id fit the persisted 32 bits.
    [[nodiscard]] virtual bool CanPersist() const = 0;
    // The entries in order: tag 3 id, then the value.
    [[nodiscard]] virtual bool SaveEntries(CArchive& archive) = 0;
    [[nodiscard]] virtual bool LoadEntries(CArchive& archive, uint32_t count) = 0;

    // The options of other; the values are the derived class's to copy.
    void CopyHeader(const ValueCollection& other);

    // CopyFrom of a derived collection: copyValues builds a copy of other's
    // values and puts it in place, false when a value cannot be copied; then
    // other's options are taken. Running out of memory calls outOfMemory;
    // either failure leaves this collection as it was.
    template <class CopyValues, class OutOfMemory>
    [[nodiscard]] bool CopyCollection(const ValueCollection& other, CopyValues&& copyValues,
                                      OutOfMemory&& outOfMemory) {
        if (&other == this) return true;
        bool copied = false;
        if (!CompletesWithMemory([&] { copied = copyValues(); })) {
            outOfMemory();
            return false;
        }
        if (!copied) return false;
        CopyHeader(other);
        return true;
    }

    // Clone of the derived collection T: a new T holding a copy of self.
    template <class T>
    [[nodiscard]] static bool CloneCollection(const T& self, RefPtr<IRefObject>& copy) {
        copy.reset();
        return OnBadAlloc(false, [&] {
            RefPtr<T> clone = T::Create();
            if (!clone->CopyFrom(self)) return false;
            copy = RefPtr<IRefObject>(static_cast<IPersistObject*>(clone.get()));
            return true;
        });
    }

private:
    template <class T>
    [[nodiscard]] bool SetInPlace(uint64_t id, ValueKind kind, T value);
    template <class T>
    [[nodiscard]] bool GetInPlace(uint64_t id, ValueKind kind, T& value) const;
    // Runs set on the slot for id, marking the collection changed.
    template <class Set>
    [[nodiscard]] bool Change(uint64_t id, Set&& set);
    [[nodiscard]] bool SaveHeader(CArchive& archive);
    [[nodiscard]] bool LoadHeader(CArchive& archive);

    bool m_bOptionA = true;
    bool m_bCloneObjects = false;
};

template <class Set>
[[nodiscard]] bool ValueCollection::Change(uint64_t id, Set&& set) {
    bool changed = false;
    try {
        if (Value* slot = MakeSlot(id)) {
            set(*slot);
            changed = true;
        }
    } catch (const std::bad_alloc&) {
    }
    if (changed) Touch();
    return changed;
}

template <class T>
[[nodiscard]] bool ValueCollection::SetInPlace(uint64_t id, ValueKind kind, T value) {
    static_assert(sizeof(T) <= 8, "in-place values have at most 8 bytes");
    return Change(id, [&](Value& slot) { slot.SetInPlace(kind, &value); });
}

template <class T>
[[nodiscard]] bool ValueCollection::GetInPlace(uint64_t id, ValueKind kind, T& value) const {
    const Value* slot = FindSlot(id);
    const void* payload = slot ? slot->InPlace(kind) : nullptr;
    if (payload == nullptr) return false;
    std::memcpy(&value, payload, sizeof(T));
    return true;
}

}  // namespace pxLib
