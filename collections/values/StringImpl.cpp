#include "collections/values/StringImpl.h"

#include <new>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xD70AC0BE, 0xBD41, 0x48A6, {0x92, 0x1A, 0x81, 0x19, 0xAC, 0x4D, 0xCE, 0xD1}}};
enum class TraceEvent : uint16_t {
    VersionNotWritten = 1,
    TypeNotWritten = 2,
    VersionNotRead = 3,
    UnknownVersion = 4,
    TypeNotRead = 5,
    UnknownStringType = 6,
};
const char16_t* const kSourceFile = u"StringImpl.cpp";
constexpr int32_t kVersion = 1;

void TraceFailure(TraceEvent event, const char16_t* text, uint32_t line) {
    Trace(kTraceSource, TraceLevel::Error, event, text, kSourceFile, line);
}

}  // namespace

OBJRESULT CStringImpl::CreateInstance(const Guid& iid, void** out) {
    return CreatePersistObject<CStringImpl>(iid, out);
}

void CStringImpl::SetNarrow(std::string_view text) {
    m_narrow.assign(text.substr(0, text.find('\0')));
    m_wide.clear();
    m_eStringType = StringType::Narrow;
    Touch();
}

void CStringImpl::SetWide(std::u16string_view text) {
    m_wide.assign(text.substr(0, text.find(u'\0')));
    m_narrow.clear();
    m_eStringType = StringType::Wide;
    Touch();
}

void CStringImpl::SetNoString() {
    m_narrow.clear();
    m_wide.clear();
    m_eStringType = StringType::NoString;
    Touch();
}

bool CStringImpl::SaveTo(CArchive& archive) {
    if (!archive.WriteInt32(kVersion)) {
        TraceFailure(TraceEvent::VersionNotWritten,
                     u"Archive.Write(CStringImpl::Version) == FALSE\n", __LINE__);
        return false;
    }
    if (!archive.WriteInt32(static_cast<int32_t>(m_eStringType))) {
        TraceFailure(TraceEvent::TypeNotWritten,
                     u"CPersist::Write(static_cast<long>(m_eStringType)) == false\n", __LINE__);
        return false;
    }
    switch (m_eStringType) {
        case StringType::NoString:
            return true;
        case StringType::Narrow:
            return archive.WriteString(m_narrow.c_str());
        case StringType::Wide:
            return archive.WriteWString(m_wide.c_str());
        default:
            return false;
    }
}

bool CStringImpl::LoadFrom(CArchive& archive) {
    int32_t version;
    if (!archive.ReadInt32(version)) {
        TraceFailure(TraceEvent::VersionNotRead, u"Archive.Read(nVersion) == FALSE\n", __LINE__);
        return false;
    }
    if (version != kVersion) {
        TraceFailure(TraceEvent::UnknownVersion, u"switch(default)\n", __LINE__);
        return false;
    }
    int32_t type;
    if (!archive.ReadInt32(type)) {
        TraceFailure(TraceEvent::TypeNotRead,
                     u"CPersist::Read(reinterpret_cast<long&>(m_eStringType)) == false\n",
                     __LINE__);
        return false;
    }
    try {
        std::string narrow;
        std::u16string wide;
        switch (static_cast<StringType>(type)) {
            case StringType::NoString:
                break;
            case StringType::Narrow:
                if (!archive.ReadString(narrow)) return false;
                break;
            case StringType::Wide:
                if (!archive.ReadWString(wide)) return false;
                break;
            default:
                Trace(kTraceSource, TraceLevel::Error, TraceEvent::UnknownStringType, type);
                return false;
        }
        m_eStringType = static_cast<StringType>(type);
        m_narrow = std::move(narrow);
        m_wide = std::move(wide);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CStringImpl::Clone(RefPtr<IRefObject>& copy) {
    copy.reset();
    try {
        RefPtr<CStringImpl> clone = Create();
        clone->m_eStringType = m_eStringType;
        clone->m_narrow = m_narrow;
        clone->m_wide = m_wide;
        clone->m_bCacheSize = m_bCacheSize;
        copy = RefPtr<IRefObject>(static_cast<IPersistObject*>(clone.get()));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace pxLib
