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
    m_qwPosition = position;
    m_qwHighWaterMark = position;
    SetStartPosition(position);
    return true;
}

void CTavStreamArchive::Advance(uint64_t count) {
    m_qwPosition += count;
    if (m_qwPosition > m_qwHighWaterMark) m_qwHighWaterMark = m_qwPosition;
}

bool CTavStreamArchive::CreateSubStream(uint32_t size, bool grow, RefPtr<IByteStream>& stream) {
    stream.reset();
    uint64_t streamSize;
    if (!m_stream || !m_stream->GetSize(streamSize)) return false;
    const uint64_t end = m_qwPosition + size;
    if (end > streamSize && (!grow || !IsStoring() || !m_stream->SetSize(end))) return false;
    try {
        stream = RefPtr<IByteStream>(new RegionStream(m_stream, m_qwPosition, size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    Advance(size);
    return true;
}

bool CTavStreamArchive::ReadBytes(void* bytes, uint32_t count) {
    if (!m_stream || !m_stream->SetPosition(m_qwPosition)) return false;
    if (count != 0 && !m_stream->Read(bytes, count)) return false;
    Advance(count);
    return true;
}

bool CTavStreamArchive::WriteBytes(const void* bytes, uint32_t count) {
    if (!m_stream || !m_stream->SetPosition(m_qwPosition)) return false;
    if (count != 0 && !m_stream->Write(bytes, count)) return false;
    Advance(count);
    return true;
}

bool CTavStreamArchive::GetPosition(uint64_t& position) {
    if (!m_stream) return false;
    position = m_qwPosition;
    return true;
}

bool CTavStreamArchive::SetPosition(uint64_t position) {
    uint64_t size;
    if (!m_stream || !m_stream->GetSize(size) || position > size) return false;
    m_qwPosition = position;
    return true;
}

}  // namespace pxLib
