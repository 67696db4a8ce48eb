#include "collections/values/ValueCollection.h"

#include "collections/values/PersistableClasses.h"
#include "collections/values/ValueArchive.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x27F7AFFC, 0x741B, 0x4245, {0xBE, 0x19, 0x9C, 0xAE, 0x48, 0x91, 0x1A, 0x59}}};
enum class TraceEvent : uint16_t {
    HeaderVersionTooNew = 1,
    CannotPersist = 2,
    SaveOutOfMemory = 3,
    LoadOutOfMemory = 4,
    LoadFailed = 5,
};

constexpr int32_t kHeaderVersion = 1;
constexpr int32_t kHeaderVersionWithSize = 2;
constexpr int32_t kBodyVersion = 1;

std::u16string UntilNul(std::u16string_view text) {
    return std::u16string(text.substr(0, text.find(u'\0')));
}

}  // namespace

void ValueCollection::SetOptionA(bool value) {
    m_bOptionA = value;
    Touch();
}

void ValueCollection::SetCloneObjects(bool value) {
    m_bCloneObjects = value;
    Touch();
}

ValueKind ValueCollection::GetValueKind(uint64_t id) const {
    const Value* slot = FindSlot(id);
    return slot ? slot->Kind() : ValueKind::Empty;
}

uint32_t ValueCollection::GetValueSize(uint64_t id) const {
    const Value* slot = FindSlot(id);
    if (slot == nullptr) return 0;
    const uint64_t size = PayloadSize(*slot);
    return size > UINT32_MAX ? 0 : static_cast<uint32_t>(size);
}

void ValueCollection::Clear() {
    ClearValues();
    Touch();
}

bool ValueCollection::SetEmpty(uint64_t id) {
    return Change(id, [](Value& slot) { slot.Clear(); });
}

bool ValueCollection::SetBool(uint64_t id, bool value) {
    return SetInPlace(id, ValueKind::Bool, uint8_t{value ? uint8_t{1} : uint8_t{0}});
}

bool ValueCollection::GetBool(uint64_t id, bool& value) const {
    uint8_t byte;
    if (!GetInPlace(id, ValueKind::Bool, byte)) return false;
    value = byte != 0;
    return true;
}

bool ValueCollection::SetGuid(uint64_t id, const Guid& value) {
    return Change(id, [&](Value& slot) { slot.SetGuid(value); });
}

bool ValueCollection::GetGuid(uint64_t id, Guid& value) const {
    const Value* slot = FindSlot(id);
    if (slot == nullptr || slot->AsGuid() == nullptr) return false;
    value = *slot->AsGuid();
    return true;
}

bool ValueCollection::SetRecord16(uint64_t id, const Record16& value) {
    return Change(id, [&](Value& slot) { slot.SetRecord16(value); });
}

bool ValueCollection::GetRecord16(uint64_t id, Record16& value) const {
    const Value* slot = FindSlot(id);
    if (slot == nullptr || slot->AsRecord16() == nullptr) return false;
    value = *slot->AsRecord16();
    return true;
}

bool ValueCollection::SetAnsiString(uint64_t id, std::string_view text) {
    return Change(
        id, [&](Value& slot) { slot.SetString(std::string(text.substr(0, text.find('\0')))); });
}

bool ValueCollection::GetAnsiString(uint64_t id, std::string& text) const {
    const Value* slot = FindSlot(id);
    if (slot == nullptr || slot->AsString() == nullptr) return false;
    text = *slot->AsString();
    return true;
}

bool ValueCollection::SetString(uint64_t id, std::u16string_view text) {
    return Change(id, [&](Value& slot) { slot.SetWString(UntilNul(text)); });
}

bool ValueCollection::GetString(uint64_t id, std::u16string& text) const {
    const Value* slot = FindSlot(id);
    if (slot == nullptr) return false;
    if (const std::u16string* wide = slot->AsWString()) {
        text = *wide;
        return true;
    }
    if (const std::string* narrow = slot->AsString()) {
        text.assign(narrow->size(), u'\0');
        for (size_t i = 0; i < narrow->size(); ++i)
            text[i] = static_cast<unsigned char>((*narrow)[i]);
        return true;
    }
    return false;
}

bool ValueCollection::SetBinary(uint64_t id, const void* data, size_t size) {
    if (size != 0 && data == nullptr) return false;
    return Change(id, [&](Value& slot) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        slot.SetBinary(std::vector<uint8_t>(bytes, bytes + size));
    });
}

bool ValueCollection::GetBinary(uint64_t id, std::vector<uint8_t>& block) const {
    const Value* slot = FindSlot(id);
    if (slot == nullptr || slot->AsBinary() == nullptr) return false;
    block = *slot->AsBinary();
    return true;
}

bool ValueCollection::SetVariant(uint64_t id, const Variant& value) {
    return Change(id, [&](Value& slot) { slot.SetVariant(value); });
}

bool ValueCollection::GetVariant(uint64_t id, Variant& value) const {
    const Value* slot = FindSlot(id);
    if (slot == nullptr || slot->AsVariant() == nullptr) return false;
    value = *slot->AsVariant();
    return true;
}

bool ValueCollection::SetObject(uint64_t id, IRefObject* object) {
    return Change(id, [&](Value& slot) { slot.SetObject(RefPtr<IRefObject>(object)); });
}

bool ValueCollection::GetObject(uint64_t id, RefPtr<IRefObject>& object) const {
    const Value* slot = FindSlot(id);
    if (slot == nullptr || slot->Kind() != ValueKind::Object) return false;
    object = RefPtr<IRefObject>(slot->AsObject());
    return true;
}

bool ValueCollection::SaveHeader(CArchive& archive) {
    if (!archive.WriteInt32(m_bCacheSize ? kHeaderVersionWithSize : kHeaderVersion) ||
        !archive.WriteBool(m_bOptionA) || !archive.WriteBool(m_bCloneObjects))
        return false;
    if (!m_bCacheSize) return true;
    return archive.WriteBool(true) && archive.WriteUInt64(m_qwCachedSize);
}

bool ValueCollection::LoadHeader(CArchive& archive) {
    int32_t version;
    if (!archive.ReadInt32(version)) return false;
    if (version > kHeaderVersionWithSize) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::HeaderVersionTooNew, version);
        return false;
    }
    if (!archive.ReadBool(m_bOptionA) || !archive.ReadBool(m_bCloneObjects)) return false;
    if (version != kHeaderVersionWithSize) return true;
    return archive.ReadBool(m_bCacheSize) && archive.ReadUInt64(m_qwCachedSize);
}

bool ValueCollection::SaveTo(CArchive& archive) {
    if (!CanPersist()) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::CannotPersist, GetCount());
        return false;
    }
    try {
        const uint64_t count = GetCount();
        return SaveHeader(archive) && archive.WriteInt32(kBodyVersion) &&
               archive.WriteUInt32(static_cast<uint32_t>(count)) && SaveEntries(archive);
    } catch (const std::bad_alloc&) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SaveOutOfMemory);
        return false;
    }
}

bool ValueCollection::LoadFrom(CArchive& archive) {
    ClearValues();
    Touch();
    if (!RegisterPersistableClasses()) return false;
    bool loaded = false;
    try {
        int32_t bodyVersion;
        uint32_t count;
        loaded = LoadHeader(archive) && archive.ReadInt32(bodyVersion) &&
                 bodyVersion == kBodyVersion && archive.ReadUInt32(count) &&
                 LoadEntries(archive, count);
    } catch (const std::bad_alloc&) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::LoadOutOfMemory);
    }
    if (!loaded) {
        ClearValues();
        Trace(kTraceSource, TraceLevel::Warning, TraceEvent::LoadFailed);
        return false;
    }
    return true;
}

void ValueCollection::CopyHeader(const ValueCollection& other) {
    m_bOptionA = other.m_bOptionA;
    m_bCloneObjects = other.m_bCloneObjects;
    m_bCacheSize = other.m_bCacheSize;
    Touch();
}

}  // namespace pxLib
