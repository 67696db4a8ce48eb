// pxTavIndexValueCollection: typed values by 0-based position, saved from
// position 0 upward. It shares the value model and header of the key-value
// collection.
#pragma once

#include "collections/values/ValueCollection.h"

#include <deque>

namespace pxLib {

constexpr Guid CLSID_pxTavIndexValueCollection = {
    0x740AB61D, 0x8B4A, 0x46CC, {0x9D, 0x82, 0x86, 0xF7, 0x2E, 0x05, 0x54, 0x77}};

class pxTavIndexValueCollection final : public ValueCollection {
public:
    pxTavIndexValueCollection() : ValueCollection(CLSID_pxTavIndexValueCollection) {}
    static RefPtr<pxTavIndexValueCollection> Create() {
        return RefPtr<pxTavIndexValueCollection>(new pxTavIndexValueCollection);
    }
    [[nodiscard]] static OBJRESULT CreateInstance(const Guid& iid, void** out);

    uint64_t GetCount() const override { return m_values.size(); }
    // Takes the value out; the ones behind it move up by one.
    [[nodiscard]] bool Remove(uint64_t index) override;
    // New positions are empty.
    [[nodiscard]] bool Resize(uint32_t count);

    [[nodiscard]] bool CopyFrom(const pxTavIndexValueCollection& other);
    [[nodiscard]] bool Clone(RefPtr<IRefObject>& copy) override;

protected:
    void* ClassSelf() override { return this; }
    const Value* FindSlot(uint64_t index) const override;
    // An existing position, or the one just past the end, which appends.
    Value* MakeSlot(uint64_t index) override;
    void ClearValues() override { m_values.clear(); }
    [[nodiscard]] bool CanPersist() const override { return m_values.size() <= UINT32_MAX; }
    [[nodiscard]] bool SaveEntries(CArchive& archive) override;
    [[nodiscard]] bool LoadEntries(CArchive& archive, uint32_t count) override;

private:
    std::deque<Value> m_values;
};

}  // namespace pxLib
