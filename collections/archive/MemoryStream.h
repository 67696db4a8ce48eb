// A byte stream over a growable block of memory.
#pragma once

#include "collections/archive/ByteStream.h"

#include <vector>

namespace pxLib {

class MemoryStream final : public IByteStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<uint8_t> bytes) : m_data(std::move(bytes)) {}
    static RefPtr<MemoryStream> Create(std::vector<uint8_t> bytes = {}) {
        return RefPtr<MemoryStream>(new MemoryStream(std::move(bytes)));
    }

    [[nodiscard]] OBJRESULT QueryInterface(const Guid& iid, void** out) override;
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }

    [[nodiscard]] bool GetSize(uint64_t& size) override;
    // Extends with zeros or cuts; the position stays unless it would lie beyond the end.
    [[nodiscard]] bool SetSize(uint64_t size) override;
    [[nodiscard]] bool GetPosition(uint64_t& position) override;
    [[nodiscard]] bool SetPosition(uint64_t position) override;
    // Writing past the end extends the stream.
    [[nodiscard]] bool Write(const void* bytes, uint32_t count) override;
    [[nodiscard]] bool Read(void* bytes, uint32_t count) override;

    const std::vector<uint8_t>& Data() const { return m_data; }

private:
    RefCount m_refs;
    std::vector<uint8_t> m_data;
    uint64_t m_position = 0;
};

}  // namespace pxLib
