// What every persistable class of this library shares: the reference count,
// the dirty and size-cache state, and Save, Load and GetSizeMax written over
// the archive form that each class defines.
#pragma once

#include <new>

#include "collections/archive/Archive.h"
#include "collections/values/Persist.h"

namespace pxLib {

// Objects nest inside collections; deeper data is refused on saving and on
// loading, which also stops a collection that holds itself.
constexpr uint32_t kMaxObjectNesting = 32;

class PersistObjectBase : public IPersistObject, public ICloneObject {
public:
    virtual ~PersistObjectBase() = default;

    // Answers the base id, IPersistObject, ICloneObject, and the class id
    // with the object itself.
    [[nodiscard]] OBJRESULT QueryInterface(const Guid& iid, void** out) override;
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }

    // The remembered size when size caching is on and nothing changed since;
    // otherwise measured with a dummy archive (and remembered when caching).
    [[nodiscard]] bool GetSizeMax(uint64_t& size) override;
    // At the stream's position, leaving the stream just after what was written.
    [[nodiscard]] bool Save(IByteStream* stream) override;
    [[nodiscard]] bool Load(IByteStream* stream) override;
    [[nodiscard]] bool IsDirty() override { return m_bDirty; }
    [[nodiscard]] bool SetDirty(bool dirty) override;
    [[nodiscard]] bool GetClassId(Guid& classId) override;
    [[nodiscard]] bool SetCacheSize(bool cacheSize) override;
    [[nodiscard]] bool GetCacheSize() override { return m_bCacheSize; }

    uint64_t GetCachedSize() const { return m_qwCachedSize; }

    // The persisted form, at the archive's position. Load clears the dirty
    // flag and the remembered size after a successful LoadFrom.
    [[nodiscard]] virtual bool SaveTo(CArchive& archive) = 0;
    [[nodiscard]] virtual bool LoadFrom(CArchive& archive) = 0;

protected:
    explicit PersistObjectBase(const Guid& classId) : m_classId(classId) {}
    PersistObjectBase(const PersistObjectBase&) = delete;
    PersistObjectBase& operator=(const PersistObjectBase&) = delete;

    // The object as its own class hands it out.
    virtual void* ClassSelf() = 0;
    // Every change: dirty, and any remembered size is stale.
    void Touch() {
        m_bDirty = true;
        m_qwCachedSize = 0;
    }
    bool m_bDirty = false;
    bool m_bCacheSize = false;
    uint64_t m_qwCachedSize = 0;

private:
    RefCount m_refs;
    Guid m_classId;
};

// The create function the object factory registers for each persistable
// class T (which offers a static Create()).
template <class T>
[[nodiscard]] OBJRESULT CreatePersistObject(const Guid& iid, void** out) {
    if (out == nullptr) return OBJ_E_INVALIDARG;
    *out = nullptr;
    RefPtr<T> object;
    try {
        object = T::Create();
    } catch (const std::bad_alloc&) {
        return OBJ_E_OUTOFMEMORY;
    }
    return object->QueryInterface(iid, out);
}

}  // namespace pxLib
