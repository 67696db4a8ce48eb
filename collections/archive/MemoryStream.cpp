#include "collections/archive/MemoryStream.h"

#include <cstring>
#include <new>

namespace pxLib {

OBJRESULT MemoryStream::QueryInterface(const Guid& iid, void** out) {
    if (out == nullptr) return OBJ_E_INVALIDARG;
    if (iid == IID_IRefObject || iid == IID_IByteStream) {
        *out = static_cast<IByteStream*>(this);
        AddRef();
        return OBJ_OK;
    }
    *out = nullptr;
    return OBJ_E_NOINTERFACE;
}

bool MemoryStream::GetSize(uint64_t& size) {
    size = m_data.size();
    return true;
}

bool MemoryStream::SetSize(uint64_t size) {
    if (size > m_data.max_size()) return false;
    try {
        m_data.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (m_position > size) m_position = size;
    return true;
}

bool MemoryStream::GetPosition(uint64_t& position) {
    position = m_position;
    return true;
}

bool MemoryStream::SetPosition(uint64_t position) {
    if (position > m_data.size()) return false;
    m_position = position;
    return true;
}

bool MemoryStream::Write(const void* bytes, uint32_t count) {
    if (count == 0) return true;
    const uint64_t end = m_position + count;
    if (end > m_data.size()) {
        if (end > m_data.max_size()) return false;
        try {
            m_data.resize(static_cast<size_t>(end));
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    std::memcpy(m_data.data() + m_position, bytes, count);
    m_position = end;
    return true;
}

bool MemoryStream::Read(void* bytes, uint32_t count) {
    if (count > m_data.size() - m_position) return false;
    if (count != 0) std::memcpy(bytes, m_data.data() + m_position, count);
    m_position += count;
    return true;
}

}  // namespace pxLib
