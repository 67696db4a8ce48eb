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
        : FixedSizeStream(size), m_block(block), m_offset(offset) {}

    bool Write(const void* bytes, uint32_t count) override {
        if (!Fits(count)) return false;
        if (count != 0) std::memcpy(m_block.data() + m_offset + m_position, bytes, count);
        m_position += count;
        return true;
    }
    bool Read(void* bytes, uint32_t count) override {
        if (!Fits(count)) return false;
        if (count != 0) std::memcpy(bytes, m_block.data() + m_offset + m_position, count);
        m_position += count;
        return true;
    }

private:
    // The block may have been cut since; never touch what is not there.
    bool Fits(uint32_t count) const {
        return Remains(count) && m_offset + m_position + count <= m_block.size();
    }

    std::vector<uint8_t>& m_block;
    uint64_t m_offset;
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
    const uint64_t end = m_position + size;
    if (end > m_block.size() && (!grow || !Reserve(end))) return false;
    try {
        stream = RefPtr<IByteStream>(new BlockRegionStream(m_block, m_position, size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_position = end;
    return true;
}

bool CMemoryArchive::ReadBytes(void* bytes, uint32_t count) {
    if (count > m_block.size() - m_position) return false;
    if (count != 0) std::memcpy(bytes, m_block.data() + m_position, count);
    m_position += count;
    return true;
}

bool CMemoryArchive::WriteBytes(const void* bytes, uint32_t count) {
    if (!Reserve(m_position + count)) return false;
    if (count != 0) std::memcpy(m_block.data() + m_position, bytes, count);
    m_position += count;
    return true;
}

bool CMemoryArchive::GetPosition(uint64_t& position) {
    position = m_position;
    return true;
}

bool CMemoryArchive::SetPosition(uint64_t position) {
    if (position > m_block.size()) return false;
    m_position = position;
    return true;
}

}  // namespace pxLib
