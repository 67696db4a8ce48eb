#include "collections/MemoryArchive.h"

#include <new>

namespace pxLib {
namespace {

// A window onto the archive's block; it looks the block up on every access
// because the block may move when it grows.
class CBlockRegionStream final : public IByteStream {
public:
    CBlockRegionStream(std::vector<uint8_t>& block, uint64_t offset, uint64_t size)
        : m_block(block), m_qwOffset(offset), m_qwSize(size) {}

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
    bool Write(const void* bytes, uint32_t count) override {
        if (!Fits(count)) return false;
        if (count != 0) std::memcpy(m_block.data() + m_qwOffset + m_qwPosition, bytes, count);
        m_qwPosition += count;
        return true;
    }
    bool Read(void* bytes, uint32_t count) override {
        if (!Fits(count)) return false;
        if (count != 0) std::memcpy(bytes, m_block.data() + m_qwOffset + m_qwPosition, count);
        m_qwPosition += count;
        return true;
    }

private:
    // The block may have been cut since; never touch what is not there.
    bool Fits(uint32_t count) const {
        return count <= m_qwSize - m_qwPosition &&
               m_qwOffset + m_qwPosition + count <= m_block.size();
    }

    CRefCount m_refs;
    std::vector<uint8_t>& m_block;
    uint64_t m_qwOffset;
    uint64_t m_qwSize;
    uint64_t m_qwPosition = 0;
};

}  // namespace

bool CMemoryArchive::Reserve(uint64_t end) {
    if (end <= m_block.size()) return true;
    if (end > m_block.max_size()) return false;
    try {
        m_block.resize(static_cast<size_t>(end));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CMemoryArchive::CreateSubStream(uint32_t size, bool grow, RefPtr<IByteStream>& stream) {
    stream.reset();
    const uint64_t end = m_qwPosition + size;
    if (end > m_block.size() && (!grow || !Reserve(end))) return false;
    try {
        stream = RefPtr<IByteStream>(new CBlockRegionStream(m_block, m_qwPosition, size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_qwPosition = end;
    return true;
}

bool CMemoryArchive::ReadBytes(void* bytes, uint32_t count) {
    if (count > m_block.size() - m_qwPosition) return false;
    if (count != 0) std::memcpy(bytes, m_block.data() + m_qwPosition, count);
    m_qwPosition += count;
    return true;
}

bool CMemoryArchive::WriteBytes(const void* bytes, uint32_t count) {
    if (!Reserve(m_qwPosition + count)) return false;
    if (count != 0) std::memcpy(m_block.data() + m_qwPosition, bytes, count);
    m_qwPosition += count;
    return true;
}

bool CMemoryArchive::GetPosition(uint64_t& position) {
    position = m_qwPosition;
    return true;
}

bool CMemoryArchive::SetPosition(uint64_t position) {
    if (position > m_block.size()) return false;
    m_qwPosition = position;
    return true;
}

}  // namespace pxLib
