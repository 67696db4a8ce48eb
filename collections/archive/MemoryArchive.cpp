#include "collections/archive/MemoryArchive.h"

#include "collections/archive/FixedSizeStream.h"

#include <new>

namespace pxLib {
namespace {

// A window onto the archive's block; it looks the block up on every access
// because the block may move when it grows.
class BlockRegionStream final : public FixedSizeStream<BlockRegionStream> {
public:
    BlockRegionStream(std::vector<uint8_t>& block, uint64_t offset, uint64_t size)
        : FixedSizeStream(size), m_block(block), m_qwOffset(offset) {}

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
        return Remains(count) && m_qwOffset + m_qwPosition + count <= m_block.size();
    }

    std::vector<uint8_t>& m_block;
    uint64_t m_qwOffset;
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
        stream = RefPtr<IByteStream>(new BlockRegionStream(m_block, m_qwPosition, size));
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
