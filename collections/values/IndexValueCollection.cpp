#include "collections/values/IndexValueCollection.h"

#include "collections/values/ValueArchive.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xAB22CD85, 0x763E, 0x44C5, {0x80, 0x66, 0x6A, 0x8B, 0x56, 0xFC, 0x02, 0x84}}};
enum class TraceEvent : uint16_t {
    CopyOutOfMemory = 1,
    EntryNotSaved = 2,
    EntriesBeyondData = 3,
    IndexOutOfRange = 4,
    EntryNotLoaded = 5,
};

// The smallest entry: tag 3 with the index, tag 1 with kind 0.
constexpr uint64_t kSmallestEntry = 5 + 2;

}  // namespace

OBJRESULT pxTavIndexValueCollection::CreateInstance(const Guid& iid, void** out) {
    return CreatePersistObject<pxTavIndexValueCollection>(iid, out);
}

bool pxTavIndexValueCollection::Remove(uint64_t index) {
    if (index >= m_values.size()) return false;
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(index));
    Touch();
    return true;
}

bool pxTavIndexValueCollection::Resize(uint32_t count) {
    try {
        m_values.resize(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    Touch();
    return true;
}

bool pxTavIndexValueCollection::CopyFrom(const pxTavIndexValueCollection& other) {
    return CopyCollection(
        other,
        [&] {
            std::deque<Value> values(other.m_values.size());
            for (size_t i = 0; i < values.size(); ++i)
                if (!values[i].CopyFrom(other.m_values[i], other.GetCloneObjects())) return false;
            m_values.swap(values);
            return true;
        },
        [] { Trace(kTraceSource, TraceLevel::Error, TraceEvent::CopyOutOfMemory); });
}

bool pxTavIndexValueCollection::Clone(RefPtr<IRefObject>& copy) {
    return CloneCollection(*this, copy);
}

const Value* pxTavIndexValueCollection::FindSlot(uint64_t index) const {
    return index < m_values.size() ? &m_values[index] : nullptr;
}

Value* pxTavIndexValueCollection::MakeSlot(uint64_t index) {
    if (index < m_values.size()) return &m_values[index];
    if (index != m_values.size() || index >= UINT32_MAX) return nullptr;
    m_values.emplace_back();
    return &m_values.back();
}

bool pxTavIndexValueCollection::SaveEntries(CArchive& archive) {
    for (size_t i = 0; i < m_values.size(); ++i) {
        if (!archive.WriteUInt32(static_cast<uint32_t>(i)) || !SaveValue(archive, m_values[i])) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::EntryNotSaved, uint64_t{i});
            return false;
        }
    }
    return true;
}

bool pxTavIndexValueCollection::LoadEntries(CArchive& archive, uint32_t count) {
    // The slots are made before the entries are read: prove the entries can be there.
    if (!archive.ProveAvailable(uint64_t{count} * kSmallestEntry)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::EntriesBeyondData, count);
        return false;
    }
    m_values.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t index;
        if (!archive.ReadUInt32(index)) return false;
        if (index >= count) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::IndexOutOfRange, index, count);
            return false;
        }
        if (!LoadValue(archive, m_values[index])) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::EntryNotLoaded, index);
            return false;
        }
    }
    return true;
}

}  // namespace pxLib
