// The memory object: a persistable block of bytes.
#pragma once

#include "collections/values/PersistObjectBase.h"

#include <vector>

namespace pxLib {

constexpr Guid CLSID_CMemoryImpl = {
    0x31324564, 0x3B13, 0x4533, {0x89, 0x99, 0x33, 0x99, 0x06, 0x88, 0xF5, 0xA9}};

class CMemoryImpl final : public PersistObjectBase {
public:
    CMemoryImpl() : PersistObjectBase(CLSID_CMemoryImpl) {}
    static RefPtr<CMemoryImpl> Create() { return RefPtr<CMemoryImpl>(new CMemoryImpl); }
    [[nodiscard]] static OBJRESULT CreateInstance(const Guid& iid, void** out);

    const std::vector<uint8_t>& GetBytes() const { return m_bytes; }
    void SetBytes(std::vector<uint8_t> bytes);

    // Version 1 (tag 6), then the bytes (tag 9).
    [[nodiscard]] bool SaveTo(CArchive& archive) override;
    [[nodiscard]] bool LoadFrom(CArchive& archive) override;
    [[nodiscard]] bool Clone(RefPtr<IRefObject>& copy) override;

protected:
    void* ClassSelf() override { return this; }

private:
    std::vector<uint8_t> m_bytes;
};

}  // namespace pxLib
