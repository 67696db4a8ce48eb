#include "collections/archive/RegionStream.h"

namespace pxLib {

bool RegionStream::Write(const void* bytes, uint32_t count) {
    if (!Remains(count)) return false;
    if (!m_base->SetPosition(m_offset + m_position) || !m_base->Write(bytes, count)) return false;
    m_position += count;
    return true;
}

bool RegionStream::Read(void* bytes, uint32_t count) {
    if (!Remains(count)) return false;
    if (!m_base->SetPosition(m_offset + m_position) || !m_base->Read(bytes, count)) return false;
    m_position += count;
    return true;
}

}  // namespace pxLib
