#include "support/security/DaclMerge.h"

#include <cstring>

#include "support/security/RightsChecker.h"

namespace ZOLT {
namespace {

enum class EntryClass : uint8_t { Allowed, Denied, Unhandled };

EntryClass Classify(BYTE type) {
    switch (type) {
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
            return EntryClass::Allowed;
        case ACCESS_DENIED_ACE_TYPE:
        case ACCESS_DENIED_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
            return EntryClass::Denied;
        default:
            return EntryClass::Unhandled;
    }
}

bool HasObjectTypes(BYTE type) {
    return type == ACCESS_ALLOWED_OBJECT_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
           type == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE ||
           type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

// The smallest SID: revision, count and the six-byte authority.
constexpr size_t kMinSidBytes = 8;

struct EntryView {
    ACCESS_MASK mask = 0;
    PSID sid = nullptr;  // none when it does not lie whole within the entry
};

// Every handled type starts with the header and the mask; the object types
// put their flags and up to two GUIDs before the SID.
EntryView ViewEntry(const ACE_HEADER* header) {
    EntryView view;
    const auto* bytes = reinterpret_cast<const BYTE*>(header);
    const size_t size = header->AceSize;
    size_t offset = sizeof(ACE_HEADER);
    if (size < offset + sizeof(ACCESS_MASK)) return view;
    std::memcpy(&view.mask, bytes + offset, sizeof(ACCESS_MASK));
    offset += sizeof(ACCESS_MASK);
    if (HasObjectTypes(header->AceType)) {
        DWORD objectFlags = 0;
        if (size < offset + sizeof(DWORD)) return view;
        std::memcpy(&objectFlags, bytes + offset, sizeof(DWORD));
        offset += sizeof(DWORD);
        if (objectFlags & ACE_OBJECT_TYPE_PRESENT) offset += sizeof(GUID);
        if (objectFlags & ACE_INHERITED_OBJECT_TYPE_PRESENT) offset += sizeof(GUID);
    }
    if (size < offset + kMinSidBytes) return view;
    const BYTE subAuthorities = bytes[offset + 1];
    if (size - offset < GetSidLengthRequired(subAuthorities)) return view;
    const PSID sid = const_cast<BYTE*>(bytes + offset);
    if (IsValidSid(sid)) view.sid = sid;
    return view;
}

bool SameSid(PSID a, PSID b) {
    return a != nullptr && b != nullptr && IsValidSid(a) && IsValidSid(b) && EqualSid(a, b);
}

void AddBothTriples(AclBuilder& acl, EntryKind kind, const RightsRequest& rights, PSID sid) {
    acl.AddDecomposed(kind, rights.propagating, 0, sid);
    acl.AddDecomposed(kind, rights.noPropagate, NO_PROPAGATE_INHERIT_ACE, sid);
}

}  // namespace

bool RebuildDacl(const ACL* oldDacl, const RightsRequest& request, PSID sid, AclBuilder& rebuilt) {
    bool outstanding = !request.Empty() && oldDacl != nullptr;
    bool changed = false;
    RightsRequest granted;
    RightsRequest denied;
    const WORD count = oldDacl ? oldDacl->AceCount : 0;
    for (WORD index = 0; index < count; ++index) {
        if (!outstanding && !changed) return false;
        void* raw = nullptr;
        if (!GetAce(const_cast<ACL*>(oldDacl), index, &raw))
            throw CRightsChecker::Exception(CRightsChecker::ErrorCode::UnhandledEntryType);
        const auto* header = static_cast<const ACE_HEADER*>(raw);
        const EntryClass entryClass = Classify(header->AceType);
        if (entryClass == EntryClass::Unhandled)
            throw CRightsChecker::Exception(CRightsChecker::ErrorCode::UnhandledEntryType);

        const EntryView view = ViewEntry(header);
        const RightsRequest rights =
            RightsOfEntry(MapRegistryGenericRights(view.mask), header->AceFlags);
        const bool forTarget = SameSid(view.sid, sid);
        // Windows adds inherited entries again from the parent on its own.
        const bool inherited = (header->AceFlags & INHERITED_ACE) != 0;

        if (entryClass == EntryClass::Allowed) {
            if (forTarget) {
                granted |= rights.Without(denied);
                if (request.Without(granted).Empty()) outstanding = false;
            }
            if (!inherited) rebuilt.Copy(EntryKind::Allowed, header);
        } else if (!forTarget) {
            if (!inherited) rebuilt.Copy(EntryKind::Denied, header);
        } else if (inherited) {
            denied |= rights;
        } else {
            const RightsRequest remaining = rights.Without(request);
            if (!(remaining == rights)) changed = true;
            AddBothTriples(rebuilt, EntryKind::Denied, remaining, sid);
            denied |= remaining;
        }
    }
    if (outstanding) {
        AddBothTriples(rebuilt, EntryKind::Allowed, request.Without(granted), sid);
        changed = true;
    }
    return changed;
}

}  // namespace ZOLT
