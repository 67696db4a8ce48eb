// A window of fixed size onto another byte stream: it reads and writes only
// inside [offset, offset + size) of the stream below and never resizes it.
#pragma once

#include "collections/ByteStream.h"

namespace pxLib {

class CRegionStream final : public IByteStream {
public:
    // The stream below must already cover the region.
    CRegionStream(RefPtr<IByteStream> base, uint64_t offset, uint64_t size)
        : m_base(std::move(base)), m_qwOffset(offset), m_qwSize(size) {}

    OBJRESULT QueryInterface(const Guid& iid, void** out) override;
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }

    bool GetSize(uint64_t& size) override;
    bool SetSize(uint64_t size) override;  // always refused
    bool GetPosition(uint64_t& position) override;
    bool SetPosition(uint64_t position) override;
    bool Write(const void* bytes, uint32_t count) override;
    bool Read(void* bytes, uint32_t count) override;

private:
    CRefCount m_refs;
    RefPtr<IByteStream> m_base;
    uint64_t m_qwOffset;
    uint64_t m_qwSize;
    uint64_t m_qwPosition = 0;
};

}  // namespace pxLib
