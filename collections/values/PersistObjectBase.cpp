#include "collections/values/PersistObjectBase.h"

#include "collections/archive/DummyArchive.h"
#include "collections/archive/TavStreamArchive.h"
#include "support/system/ThreadSlot.h"

#include <new>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x087E3C11, 0xD86F, 0x42C8, {0x85, 0x4C, 0x79, 0xC7, 0xAA, 0x3A, 0x86, 0xB8}}};
enum class TraceEvent : uint16_t {
    SizeNestedTooDeep = 1,
    SaveNestedTooDeep = 2,
    LoadNestedTooDeep = 3,
};

// This thread's nesting depth. A depth that cannot be stored counts as too
// deep: the object fails instead of nesting unguarded.
ThreadSlot g_nesting;

// Counts one level of nesting for as long as it lives.
class NestingGuard {
public:
    NestingGuard() {
        const uintptr_t depth = g_nesting.Get();
        m_entered = depth < kMaxObjectNesting && g_nesting.Set(depth + 1);
    }
    ~NestingGuard() {
        // Setting a value this thread has set before cannot fail.
        if (m_entered) static_cast<void>(g_nesting.Set(g_nesting.Get() - 1));
    }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
    bool Entered() const { return m_entered; }

private:
    bool m_entered;
};

}  // namespace

OBJRESULT PersistObjectBase::QueryInterface(const Guid& iid, void** out) {
    if (out == nullptr) return OBJ_E_INVALIDARG;
    if (iid == IID_IRefObject || iid == IID_IPersistObject)
        *out = static_cast<IPersistObject*>(this);
    else if (iid == IID_ICloneObject)
        *out = static_cast<ICloneObject*>(this);
    else if (iid == m_classId)
        *out = ClassSelf();
    else {
        *out = nullptr;
        return OBJ_E_NOINTERFACE;
    }
    AddRef();
    return OBJ_OK;
}

bool PersistObjectBase::GetSizeMax(uint64_t& size) {
    size = 0;
    if (m_bCacheSize && m_qwCachedSize != 0 && !m_bDirty) {
        size = m_qwCachedSize;
        return true;
    }
    NestingGuard guard;
    if (!guard.Entered()) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SizeNestedTooDeep, kMaxObjectNesting);
        return false;
    }
    CDummyArchive measure;
    if (!SaveTo(measure)) return false;
    size = measure.GetByteCount();
    if (m_bCacheSize) m_qwCachedSize = size;
    return true;
}

bool PersistObjectBase::Save(IByteStream* stream) {
    NestingGuard guard;
    if (!guard.Entered()) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SaveNestedTooDeep, kMaxObjectNesting);
        return false;
    }
    CTavStreamArchive archive(CArchive::Mode::Store);
    if (stream == nullptr || !archive.Attach(stream)) return false;
    uint64_t before = archive.GetStartPosition();
    uint64_t after;
    if (!SaveTo(archive) || !archive.GetPosition(after)) return false;
    // A nested object may have left the stream inside its region.
    if (!stream->SetPosition(after)) return false;
    if (m_bCacheSize) m_qwCachedSize = after - before;
    m_bDirty = false;
    return true;
}

bool PersistObjectBase::Load(IByteStream* stream) {
    NestingGuard guard;
    if (!guard.Entered()) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::LoadNestedTooDeep, kMaxObjectNesting);
        return false;
    }
    CTavStreamArchive archive(CArchive::Mode::Load);
    if (stream == nullptr || !archive.Attach(stream)) return false;
    if (!LoadFrom(archive)) return false;
    // The content now matches the stream, whatever follows.
    m_qwCachedSize = 0;
    m_bDirty = false;
    uint64_t after;
    if (!archive.GetPosition(after)) return false;
    return stream->SetPosition(after);
}

bool PersistObjectBase::SetDirty(bool dirty) {
    if (dirty)
        Touch();
    else
        m_bDirty = false;
    return true;
}

bool PersistObjectBase::GetClassId(Guid& classId) {
    classId = m_classId;
    return true;
}

bool PersistObjectBase::SetCacheSize(bool cacheSize) {
    if (cacheSize != m_bCacheSize) {
        m_bCacheSize = cacheSize;
        Touch();  // the header changes with it
    }
    return true;
}

}  // namespace pxLib
