#include "collections/DummyArchive.h"

#include <new>

namespace pxLib {
namespace {

class CDiscardStream final : public IByteStream {
public:
    explicit CDiscardStream(uint64_t size) : m_qwSize(size) {}

    OBJRESULT QueryInterface(const Guid& iid, void** out) override {
        if (out == nullptr) return OBJ_E_INVALIDARG;
        if (iid == IID_IRefObject || iid == IID_IByteStream) {
            *out = static_cast<IByteStream*>(this);
            AddRef();
            return OBJ_OK;
        }
        *out = nullptr;
        return OBJ_E_NOINTERFACE;
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }

    bool GetSize(uint64_t& size) override {
        size = m_qwSize;
        return true;
    }
    bool SetSize(uint64_t) override { return false; }
    bool GetPosition(uint64_t& position) override {
        position = m_qwPosition;
        return true;
    }
    bool SetPosition(uint64_t position) override {
        if (position > m_qwSize) return false;
        m_qwPosition = position;
        return true;
    }
    bool Write(const void*, uint32_t count) override {
        if (count > m_qwSize - m_qwPosition) return false;
        m_qwPosition += count;
        return true;
    }
    bool Read(void*, uint32_t) override { return false; }

private:
    CRefCount m_refs;
    uint64_t m_qwSize;
    uint64_t m_qwPosition = 0;
};

}  // namespace

bool CDummyArchive::CreateSubStream(uint32_t size, bool, RefPtr<IByteStream>& stream) {
    try {
        stream = RefPtr<IByteStream>(new CDiscardStream(size));
    } catch (const std::bad_alloc&) {
        stream.reset();
        return false;
    }
    m_qwBytesWritten += size;
    return true;
}

bool CDummyArchive::ReadBytes(void*, uint32_t) {
    return false;
}

bool CDummyArchive::WriteBytes(const void*, uint32_t count) {
    m_qwBytesWritten += count;
    return true;
}

bool CDummyArchive::GetPosition(uint64_t& position) {
    position = 0;
    return true;
}

bool CDummyArchive::SetPosition(uint64_t) {
    return true;
}

}  // namespace pxLib
