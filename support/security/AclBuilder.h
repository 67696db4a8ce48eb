// A DACL under construction: entries are appended in order and the buffer
// grows as needed, up to the largest ACL Windows accepts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "support/security/RightsRequest.h"

namespace ZOLT {

enum class EntryKind : uint8_t { Allowed, Denied };

class AclBuilder {
public:
    explicit AclBuilder(BYTE revision = ACL_REVISION);

    // Each raises CRightsChecker::Exception (AllowedEntryNotAdded for allowed
    // entries, DeniedEntryNotAdded for denied ones) when the entry cannot be
    // added.
    void Add(EntryKind kind, ACCESS_MASK mask, BYTE flags, PSID sid);
    void AddDecomposed(EntryKind kind, const RightsTriple& rights, BYTE baseFlags, PSID sid);
    void Copy(EntryKind kind, const ACE_HEADER* entry);

    PACL Acl() { return reinterpret_cast<PACL>(m_buffer.data()); }
    WORD Count() const { return reinterpret_cast<const ACL*>(m_buffer.data())->AceCount; }

private:
    // Grows the buffer so that entryBytes more fit; false beyond the largest ACL.
    [[nodiscard]] bool MakeRoom(DWORD entryBytes);

    BYTE m_revision;
    std::vector<DWORD> m_buffer;  // DWORD-aligned, as an ACL must be
};

}  // namespace ZOLT
