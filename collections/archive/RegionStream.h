// A window of fixed size onto another byte stream: it reads and writes only
// inside [offset, offset + size) of the stream below and never resizes it.
#pragma once

#include "collections/archive/FixedSizeStream.h"

namespace pxLib {

class RegionStream final : public FixedSizeStream<RegionStream> {
public:
    // The stream below must already cover the region.
    RegionStream(RefPtr<IByteStream> base, uint64_t offset, uint64_t size)
        : FixedSizeStream(size), m_base(std::move(base)), m_offset(offset) {}

    [[nodiscard]] bool Write(const void* bytes, uint32_t count) override;
    [[nodiscard]] bool Read(void* bytes, uint32_t count) override;

private:
    RefPtr<IByteStream> m_base;
    uint64_t m_offset;
};

}  // namespace pxLib
