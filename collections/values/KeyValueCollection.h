// pxTavKeyValueCollection: typed values keyed by unsigned numbers, kept and
// saved in ascending key order. Keys are 64 bits wide in memory, but only keys
// below 2^32 can be saved.
#pragma once

#include "collections/values/ValueCollection.h"

#include <map>

namespace pxLib {

constexpr Guid CLSID_pxTavKeyValueCollection = {
    0x9958D891, 0xC319, 0x4C6C, {0xBE, 0xB9, 0xF9, 0xBF, 0xB3, 0x7E, 0xA4, 0x93}};

class pxTavKeyValueCollection final : public ValueCollection {
public:
    pxTavKeyValueCollection() : ValueCollection(CLSID_pxTavKeyValueCollection) {}
    static RefPtr<pxTavKeyValueCollection> Create() {
        return RefPtr<pxTavKeyValueCollection>(new pxTavKeyValueCollection);
    }
    // The creator registered with the process object factory.
    [[nodiscard]] static OBJRESULT CreateInstance(const Guid& iid, void** out);

    uint64_t GetCount() const override { return m_values.size(); }
    [[nodiscard]] bool Remove(uint64_t key) override;
    std::vector<uint64_t> GetKeys() const;

    // Options and values of other; object values are cloned when other's
    // cloneObjects is set, shared otherwise.
    [[nodiscard]] bool CopyFrom(const pxTavKeyValueCollection& other);
    [[nodiscard]] bool Clone(RefPtr<IRefObject>& copy) override;

protected:
    void* ClassSelf() override { return this; }
    const Value* FindSlot(uint64_t key) const override;
    Value* MakeSlot(uint64_t key) override;
    void ClearValues() override { m_values.clear(); }
    [[nodiscard]] bool CanPersist() const override;
    [[nodiscard]] bool SaveEntries(CArchive& archive) override;
    [[nodiscard]] bool LoadEntries(CArchive& archive, uint32_t count) override;

private:
    std::map<uint64_t, Value> m_values;
};

}  // namespace pxLib
