// Small model objects for the collection tests: one that cannot persist, and
// one that counts how often it is measured and saved.
#pragma once

#include "collections/values/PersistObjectBase.h"

namespace qvdtest {

// Answers only the base interface.
class PlainObject final : public pxLib::IRefObject {
public:
    pxLib::OBJRESULT QueryInterface(const pxLib::Guid& iid, void** out) override {
        if (out == nullptr) return pxLib::OBJ_E_INVALIDARG;
        if (iid == pxLib::IID_IRefObject) {
            *out = this;
            AddRef();
            return pxLib::OBJ_OK;
        }
        *out = nullptr;
        return pxLib::OBJ_E_NOINTERFACE;
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }

private:
    pxLib::RefCount m_refs;
};

constexpr pxLib::Guid CLSID_CountingObject = {
    0x131390D6, 0xC833, 0x4A77, {0xBB, 0xEF, 0x46, 0xC5, 0x16, 0x49, 0xD5, 0x28}};

// Persists as one tag-3 element holding its value.
class CountingObject final : public pxLib::PersistObjectBase {
public:
    CountingObject() : PersistObjectBase(CLSID_CountingObject) {}

    bool GetSizeMax(uint64_t& size) override {
        ++sizeQueries;
        return PersistObjectBase::GetSizeMax(size);
    }
    bool SaveTo(pxLib::CArchive& archive) override {
        ++saves;
        return archive.WriteUInt32(value);
    }
    bool LoadFrom(pxLib::CArchive& archive) override { return archive.ReadUInt32(value); }
    bool Clone(pxLib::RefPtr<pxLib::IRefObject>& copy) override {
        auto* clone = new CountingObject;
        clone->value = value;
        copy = pxLib::RefPtr<pxLib::IRefObject>(static_cast<pxLib::IPersistObject*>(clone));
        return true;
    }

    uint32_t value = 0;
    int sizeQueries = 0;
    int saves = 0;

protected:
    void* ClassSelf() override { return this; }
};

}  // namespace qvdtest
