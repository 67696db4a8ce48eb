#include "support/security/AclBuilder.h"

#include <algorithm>

#include "support/security/RightsChecker.h"

namespace ZOLT {
namespace {

// The size field of an ACL is 16 bits and the size a multiple of four.
constexpr DWORD kMaxAclBytes = 0xFFFC;
constexpr DWORD kInitialAclBytes = 512;

[[noreturn]] void Fail(EntryKind kind) {
    throw CRightsChecker::Exception(kind == EntryKind::Allowed
                                        ? CRightsChecker::ErrorCode::AllowedEntryNotAdded
                                        : CRightsChecker::ErrorCode::DeniedEntryNotAdded);
}

}  // namespace

AclBuilder::AclBuilder(BYTE revision)
    : m_revision(std::max<BYTE>(revision, ACL_REVISION)),
      m_buffer(kInitialAclBytes / sizeof(DWORD)) {
    if (!InitializeAcl(Acl(), kInitialAclBytes, m_revision)) {
        // Only a revision Windows does not know gets here; start over plain.
        m_revision = ACL_REVISION;
        InitializeAcl(Acl(), kInitialAclBytes, m_revision);
    }
}

bool AclBuilder::MakeRoom(DWORD entryBytes) {
    ACL_SIZE_INFORMATION info{};
    if (!GetAclInformation(Acl(), &info, sizeof(info), AclSizeInformation)) return false;
    if (info.AclBytesFree >= entryBytes) return true;
    const DWORD needed = info.AclBytesInUse + entryBytes;
    if (needed > kMaxAclBytes) return false;
    DWORD grown = static_cast<DWORD>(m_buffer.size() * sizeof(DWORD));
    while (grown < needed) grown = std::min(grown * 2, kMaxAclBytes);
    m_buffer.resize(grown / sizeof(DWORD));
    // The entries stay where they are; only the room behind them grows.
    Acl()->AclSize = static_cast<WORD>(grown);
    return true;
}

void AclBuilder::Add(EntryKind kind, ACCESS_MASK mask, BYTE flags, PSID sid) {
    if (sid == nullptr || !IsValidSid(sid)) Fail(kind);
    const DWORD entryBytes =
        static_cast<DWORD>(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + GetLengthSid(sid);
    const BOOL added =
        MakeRoom(entryBytes) &&
        (kind == EntryKind::Allowed ? AddAccessAllowedAceEx(Acl(), m_revision, flags, mask, sid)
                                    : AddAccessDeniedAceEx(Acl(), m_revision, flags, mask, sid));
    if (!added) Fail(kind);
}

void AclBuilder::AddDecomposed(EntryKind kind, const RightsTriple& rights, BYTE baseFlags,
                               PSID sid) {
    for (const EntryShape& entry : DecomposeRights(rights, baseFlags))
        Add(kind, entry.mask, entry.flags, sid);
}

void AclBuilder::Copy(EntryKind kind, const ACE_HEADER* entry) {
    if (!MakeRoom(entry->AceSize) ||
        !AddAce(Acl(), m_revision, MAXDWORD, const_cast<ACE_HEADER*>(entry), entry->AceSize))
        Fail(kind);
}

}  // namespace ZOLT
