#include "collections/archive/DummyArchive.h"

#include "collections/archive/FixedSizeStream.h"

#include <new>

namespace pxLib {
namespace {

class DiscardStream final : public FixedSizeStream<DiscardStream> {
public:
    explicit DiscardStream(uint64_t size) : FixedSizeStream(size) {}

    bool Write(const void*, uint32_t count) override {
        if (!Remains(count)) return false;
        m_position += count;
        return true;
    }
    bool Read(void*, uint32_t) override { return false; }
};

}  // namespace

bool CDummyArchive::CreateSubStream(uint32_t size, bool, RefPtr<IByteStream>& stream) {
    try {
        stream = RefPtr<IByteStream>(new DiscardStream(size));
    } catch (const std::bad_alloc&) {
        stream.reset();
        return false;
    }
    m_bytesWritten += size;
    return true;
}

bool CDummyArchive::ReadBytes(void*, uint32_t) {
    return false;
}

bool CDummyArchive::WriteBytes(const void*, uint32_t count) {
    m_bytesWritten += count;
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
