#include "collections/archive/TavStreamArchive.h"

#include "collections/archive/RegionStream.h"

#include <new>

namespace pxLib {

bool CTavStreamArchive::Attach(IByteStream* stream) {
    m_stream = RefPtr<IByteStream>(stream);
    uint64_t position = 0;
    if (!m_stream || !m_stream->GetPosition(position)) {
        m_stream.reset();
        return false;
    }
    m_position = position;
    m_highWaterMark = position;
    SetStartPosition(position);
    return true;
}

void CTavStreamArchive::Advance(uint64_t count) {
    m_position += count;
    if (m_position > m_highWaterMark) m_highWaterMark = m_position;
}

bool CTavStreamArchive::CreateSubStream(uint32_t size, bool grow, RefPtr<IByteStream>& stream) {
    stream.reset();
    uint64_t streamSize;
    if (!m_stream || !m_stream->GetSize(streamSize)) return false;
    const uint64_t end = m_position + size;
    if (end > streamSize && (!grow || !IsStoring() || !m_stream->SetSize(end))) return false;
    try {
        stream = RefPtr<IByteStream>(new RegionStream(m_stream, m_position, size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    Advance(size);
    return true;
}

bool CTavStreamArchive::ReadBytes(void* bytes, uint32_t count) {
    if (!m_stream || !m_stream->SetPosition(m_position)) return false;
    if (count != 0 && !m_stream->Read(bytes, count)) return false;
    Advance(count);
    return true;
}

bool CTavStreamArchive::WriteBytes(const void* bytes, uint32_t count) {
    if (!m_stream || !m_stream->SetPosition(m_position)) return false;
    if (count != 0 && !m_stream->Write(bytes, count)) return false;
    Advance(count);
    return true;
}

bool CTavStreamArchive::GetPosition(uint64_t& position) {
    if (!m_stream) return false;
    position = m_position;
    return true;
}

bool CTavStreamArchive::SetPosition(uint64_t position) {
    uint64_t size;
    if (!m_stream || !m_stream->GetSize(size) || position > size) return false;
    m_position = position;
    return true;
}

}  // namespace pxLib
