// An archive over a growable block of memory that it owns.
#pragma once

#include "collections/archive/Archive.h"

#include <vector>

namespace pxLib {

class CMemoryArchive final : public CArchive {
public:
    explicit CMemoryArchive(Mode mode) : CArchive(mode) {}
    // Typically a block to load from.
    CMemoryArchive(Mode mode, std::vector<uint8_t> block)
        : CArchive(mode), m_block(std::move(block)) {}

    // With grow set the block is first enlarged to cover the region. The region
    // refers to this archive's block and must not outlive the archive.
    [[nodiscard]] bool CreateSubStream(uint32_t size, bool grow,
                                       RefPtr<IByteStream>& stream) override;
    // Fails if fewer than count bytes lie between the position and the end.
    [[nodiscard]] bool ReadBytes(void* bytes, uint32_t count) override;
    // Grows the block to exactly position + count when it is too small.
    [[nodiscard]] bool WriteBytes(const void* bytes, uint32_t count) override;
    [[nodiscard]] bool GetPosition(uint64_t& position) override;
    [[nodiscard]] bool SetPosition(uint64_t position) override;  // fails beyond the block

    const std::vector<uint8_t>& Block() const { return m_block; }

private:
    [[nodiscard]] bool Reserve(uint64_t end);

    std::vector<uint8_t> m_block;
    uint64_t m_position = 0;
};

}  // namespace pxLib
