#include "support/security/Sid.h"

namespace ZOLT {
namespace {

constexpr SID_IDENTIFIER_AUTHORITY kNtAuthority = SECURITY_NT_AUTHORITY;

size_t DwordsFor(DWORD bytes) {
    return (bytes + sizeof(DWORD) - 1) / sizeof(DWORD);
}

}  // namespace

SidValue::SidValue(const SID_IDENTIFIER_AUTHORITY& authority,
                   std::initializer_list<DWORD> subAuthorities) {
    if (subAuthorities.size() > SID_MAX_SUB_AUTHORITIES) return;
    const auto count = static_cast<UCHAR>(subAuthorities.size());
    std::vector<DWORD> bytes(DwordsFor(GetSidLengthRequired(count)));
    auto nonConstAuthority = authority;
    if (!InitializeSid(bytes.data(), &nonConstAuthority, count)) return;
    DWORD index = 0;
    for (DWORD subAuthority : subAuthorities)
        *GetSidSubAuthority(bytes.data(), index++) = subAuthority;
    m_bytes = std::move(bytes);
}

SidValue SidValue::CopyOf(PSID sid) {
    SidValue value;
    if (sid == nullptr || !IsValidSid(sid)) return value;
    const DWORD length = GetLengthSid(sid);
    std::vector<DWORD> bytes(DwordsFor(length));
    if (CopySid(length, bytes.data(), sid)) value.m_bytes = std::move(bytes);
    return value;
}

PSID SidValue::Get() const {
    return m_bytes.empty() ? nullptr : const_cast<DWORD*>(m_bytes.data());
}

bool SidValue::Equals(PSID other) const {
    const PSID self = Get();
    return self != nullptr && other != nullptr && IsValidSid(self) && IsValidSid(other) &&
           EqualSid(self, other);
}

SidValue AdministratorsSid() {
    return SidValue(kNtAuthority, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
}

SidValue LocalSystemSid() {
    return SidValue(kNtAuthority, {SECURITY_LOCAL_SYSTEM_RID});
}

}  // namespace ZOLT
