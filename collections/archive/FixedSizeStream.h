// What the streams of a fixed size share (regions, windows and the measuring
// stream): they never resize, and the position stays within [0, size].
#pragma once

#include "collections/archive/ByteStream.h"

namespace pxLib {

template <class TDerived>
class FixedSizeStream : public IByteStream {
public:
    [[nodiscard]] OBJRESULT QueryInterface(const Guid& iid, void** out) override {
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
    int64_t Release() override { return m_refs.Release(static_cast<TDerived*>(this)); }

    [[nodiscard]] bool GetSize(uint64_t& size) override {
        size = m_size;
        return true;
    }
    [[nodiscard]] bool SetSize(uint64_t) override { return false; }
    [[nodiscard]] bool GetPosition(uint64_t& position) override {
        position = m_position;
        return true;
    }
    [[nodiscard]] bool SetPosition(uint64_t position) override {
        if (position > m_size) return false;
        m_position = position;
        return true;
    }

protected:
    explicit FixedSizeStream(uint64_t size) : m_size(size) {}
    ~FixedSizeStream() = default;

    [[nodiscard]] bool Remains(uint32_t count) const { return count <= m_size - m_position; }

    const uint64_t m_size;
    uint64_t m_position = 0;

private:
    RefCount m_refs;
};

}  // namespace pxLib
