#include "collections/RegionStream.h"

namespace pxLib {

OBJRESULT CRegionStream::QueryInterface(const Guid& iid, void** out) {
    if (out == nullptr) return OBJ_E_INVALIDARG;
    if (iid == IID_IRefObject || iid == IID_IByteStream) {
        *out = static_cast<IByteStream*>(this);
        AddRef();
        return OBJ_OK;
    }
    *out = nullptr;
    return OBJ_E_NOINTERFACE;
}

bool CRegionStream::GetSize(uint64_t& size) {
    size = m_qwSize;
    return true;
}

bool CRegionStream::SetSize(uint64_t) {
    return false;
}

bool CRegionStream::GetPosition(uint64_t& position) {
    position = m_qwPosition;
    return true;
}

bool CRegionStream::SetPosition(uint64_t position) {
    if (position > m_qwSize) return false;
    m_qwPosition = position;
    return true;
}

bool CRegionStream::Write(const void* bytes, uint32_t count) {
    if (count > m_qwSize - m_qwPosition) return false;
    if (!m_base->SetPosition(m_qwOffset + m_qwPosition) || !m_base->Write(bytes, count))
        return false;
    m_qwPosition += count;
    return true;
}

bool CRegionStream::Read(void* bytes, uint32_t count) {
    if (count > m_qwSize - m_qwPosition) return false;
    if (!m_base->SetPosition(m_qwOffset + m_qwPosition) || !m_base->Read(bytes, count))
        return false;
    m_qwPosition += count;
    return true;
}

}  // namespace pxLib
