#include "collections/values/KeyValueCollection.h"

#include "collections/values/ValueArchive.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xEDF26B23, 0xFD91, 0x4254, {0x90, 0x20, 0xC6, 0xC3, 0xBE, 0x76, 0x9F, 0x47}}};
enum class TraceEvent : uint16_t {
    CopyOutOfMemory = 1,
    EntryNotSaved = 2,
    EntryNotLoaded = 3,
};

}  // namespace

OBJRESULT pxTavKeyValueCollection::CreateInstance(const Guid& iid, void** out) {
    return CreatePersistObject<pxTavKeyValueCollection>(iid, out);
}

bool pxTavKeyValueCollection::Remove(uint64_t key) {
    if (m_values.erase(key) == 0) return false;
    Touch();
    return true;
}

std::vector<uint64_t> pxTavKeyValueCollection::GetKeys() const {
    std::vector<uint64_t> keys;
    keys.reserve(m_values.size());
    for (const auto& entry : m_values) keys.push_back(entry.first);
    return keys;
}

bool pxTavKeyValueCollection::CopyFrom(const pxTavKeyValueCollection& other) {
    return CopyCollection(
        other,
        [&] {
            std::map<uint64_t, Value> values;
            for (const auto& entry : other.m_values) {
                Value& slot = values.emplace_hint(values.end(), entry.first, Value())->second;
                if (!slot.CopyFrom(entry.second, other.GetCloneObjects())) return false;
            }
            m_values.swap(values);
            return true;
        },
        [] { Trace(kTraceSource, TraceLevel::Error, TraceEvent::CopyOutOfMemory); });
}

bool pxTavKeyValueCollection::Clone(RefPtr<IRefObject>& copy) {
    return CloneCollection(*this, copy);
}

const Value* pxTavKeyValueCollection::FindSlot(uint64_t key) const {
    auto found = m_values.find(key);
    return found == m_values.end() ? nullptr : &found->second;
}

Value* pxTavKeyValueCollection::MakeSlot(uint64_t key) {
    return &m_values[key];
}

bool pxTavKeyValueCollection::CanPersist() const {
    return m_values.size() <= UINT32_MAX &&
           (m_values.empty() || m_values.rbegin()->first <= UINT32_MAX);
}

bool pxTavKeyValueCollection::SaveEntries(CArchive& archive) {
    for (const auto& entry : m_values) {
        if (!archive.WriteUInt32(static_cast<uint32_t>(entry.first)) ||
            !SaveValue(archive, entry.second)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::EntryNotSaved, entry.first);
            return false;
        }
    }
    return true;
}

bool pxTavKeyValueCollection::LoadEntries(CArchive& archive, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t key;
        if (!archive.ReadUInt32(key)) return false;
        // Saved keys ascend, so the end is the right hint for well-formed data.
        Value& slot = m_values.emplace_hint(m_values.end(), key, Value())->second;
        if (!LoadValue(archive, slot)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::EntryNotLoaded, key);
            return false;
        }
    }
    return true;
}

}  // namespace pxLib
