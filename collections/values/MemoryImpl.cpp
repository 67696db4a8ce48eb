#include "collections/values/MemoryImpl.h"

#include <new>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x70B81B12, 0x0434, 0x4B14, {0x87, 0x51, 0x0A, 0x68, 0xE3, 0x1B, 0x85, 0x8E}}};
enum class TraceEvent : uint16_t {
    VersionNotWritten = 1,
    BytesNotWritten = 2,
    VersionNotRead = 3,
    UnknownVersion = 4,
    BytesNotRead = 5,
};
const char16_t* const kSourceFile = u"MemoryImpl.cpp";
constexpr int32_t kVersion = 1;

void TraceFailure(TraceEvent event, const char16_t* text, uint32_t line) {
    Trace(kTraceSource, TraceLevel::Error, event, text, kSourceFile, line);
}

}  // namespace

OBJRESULT CMemoryImpl::CreateInstance(const Guid& iid, void** out) {
    return CreatePersistObject<CMemoryImpl>(iid, out);
}

void CMemoryImpl::SetBytes(std::vector<uint8_t> bytes) {
    m_bytes = std::move(bytes);
    Touch();
}

bool CMemoryImpl::SaveTo(CArchive& archive) {
    if (!archive.WriteInt32(kVersion)) {
        TraceFailure(TraceEvent::VersionNotWritten,
                     u"Archive.Write(CMemoryImpl::CSerializeImpl::Version) == FALSE\n", __LINE__);
        return false;
    }
    if (m_bytes.size() > UINT32_MAX ||
        !archive.WriteBinary(m_bytes.data(), static_cast<uint32_t>(m_bytes.size()))) {
        TraceFailure(TraceEvent::BytesNotWritten,
                     u"CPersist::Write(m_pMemory->m_Memory) == false\n", __LINE__);
        return false;
    }
    return true;
}

bool CMemoryImpl::LoadFrom(CArchive& archive) {
    int32_t version;
    if (!archive.ReadInt32(version)) {
        TraceFailure(TraceEvent::VersionNotRead, u"Archive.Read(nVersion) == FALSE\n", __LINE__);
        return false;
    }
    if (version != kVersion) {
        TraceFailure(TraceEvent::UnknownVersion, u"switch(default)\n", __LINE__);
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!archive.ReadBinary(bytes)) {
        TraceFailure(TraceEvent::BytesNotRead, u"CPersist::Read(m_pMemory->m_Memory) == false\n",
                     __LINE__);
        return false;
    }
    m_bytes = std::move(bytes);
    return true;
}

bool CMemoryImpl::Clone(RefPtr<IRefObject>& copy) {
    copy.reset();
    try {
        RefPtr<CMemoryImpl> clone = Create();
        clone->m_bytes = m_bytes;
        clone->m_bCacheSize = m_bCacheSize;
        copy = RefPtr<IRefObject>(static_cast<IPersistObject*>(clone.get()));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace pxLib
