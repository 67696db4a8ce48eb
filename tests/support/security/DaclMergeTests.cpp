// The DACL merge on DACLs the tests build: what is kept, taken out and added
// so that one SID holds the rights asked for.
#include "support/security/DaclMerge.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestKeySecurity.h"
#include "support/security/RightsChecker.h"
#include "support/security/Sid.h"

namespace {

using qvdtest::AceRecord;
using qvdtest::SddlDacl;
using ZOLT::AclBuilder;
using ZOLT::CRightsChecker;
using ZOLT::RightsRequest;

const std::wstring kTarget = L"S-1-5-21-1-2-3-1001";
const std::wstring kOther = L"S-1-5-21-1-2-3-1002";
const std::wstring kAdministrators = L"S-1-5-32-544";
constexpr BYTE kAllowed = ACCESS_ALLOWED_ACE_TYPE;
constexpr BYTE kDenied = ACCESS_DENIED_ACE_TYPE;
constexpr BYTE kEverywhere = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
constexpr ACCESS_MASK kFullControl = KEY_ALL_ACCESS;

ZOLT::SidValue SidFromText(const std::wstring& text) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(text.c_str(), &sid)) return {};
    const pxLib::UniqueLocalMemory owner(sid);
    return ZOLT::SidValue::CopyOf(sid);
}

struct MergeResult {
    bool changed;
    std::vector<AceRecord> entries;
};

MergeResult Merge(const ACL* old, const RightsRequest& request) {
    const ZOLT::SidValue target = SidFromText(kTarget);
    AclBuilder rebuilt(old ? old->AclRevision : ACL_REVISION);
    const bool changed = ZOLT::RebuildDacl(old, request, target.Get(), rebuilt);
    return {changed, qvdtest::AclEntries(rebuilt.Acl())};
}

std::wstring Entry(const wchar_t* type, const wchar_t* flags, const wchar_t* rights,
                   const std::wstring& sid) {
    return std::wstring(L"(") + type + L";" + flags + L";" + rights + L";;;" + sid + L")";
}

TEST(DaclMerge, RebuildsTheDaclForTheTargetSid) {
    RightsRequest setValueOnly;
    setValueOnly.propagating.object = KEY_SET_VALUE;
    RightsRequest readWithoutPropagation;
    readWithoutPropagation.noPropagate = {KEY_READ, KEY_READ, 0};
    const RightsRequest full = ZOLT::FullControlRequest();

    struct Case {
        const char* label;
        std::wstring sddl;
        RightsRequest request;
        bool changed;
        std::vector<AceRecord> entries;  // only looked at when changed
    };
    const std::vector<Case> cases = {
        {"full control already granted on all three scopes",
         L"D:" + Entry(L"A", L"OICI", L"KA", kTarget),
         full,
         false,
         {}},
        {"generic all counts as full control",
         L"D:" + Entry(L"A", L"OICI", L"GA", kTarget),
         full,
         false,
         {}},
        {"granted across two entries",
         L"D:" + Entry(L"A", L"", L"KA", kTarget) + Entry(L"A", L"OICIIO", L"KA", kTarget),
         full,
         false,
         {}},
        {"an empty DACL gets one entry for all three scopes",
         L"D:",
         full,
         true,
         {{kAllowed, kEverywhere, kFullControl, kTarget}}},
        {"entries of other SIDs are kept in order",
         L"D:" + Entry(L"A", L"OICI", L"KA", L"BA") + Entry(L"D", L"", L"KA", kOther),
         full,
         true,
         {{kAllowed, kEverywhere, kFullControl, kAdministrators},
          {kDenied, 0, kFullControl, kOther},
          {kAllowed, kEverywhere, kFullControl, kTarget}}},
        {"a denial of set-value goes, what else it denies stays",
         L"D:" + Entry(L"D", L"", L"0x100002", kTarget) + Entry(L"A", L"OICI", L"KA", L"BA"),
         full,
         true,
         {{kDenied, 0, SYNCHRONIZE, kTarget},
          {kAllowed, kEverywhere, kFullControl, kAdministrators},
          {kAllowed, kEverywhere, kFullControl, kTarget}}},
        {"a denial loses only the rights asked for",
         L"D:" + Entry(L"D", L"", L"0x6", kTarget) + Entry(L"A", L"", L"KR", kTarget),
         setValueOnly,
         true,
         {{kDenied, 0, KEY_CREATE_SUB_KEY, kTarget},
          {kAllowed, 0, KEY_READ, kTarget},
          {kAllowed, 0, KEY_SET_VALUE, kTarget}}},
        {"inherited entries are not copied, an inherited denial is not granted",
         L"D:" + Entry(L"A", L"", L"KR", kOther) + Entry(L"A", L"OICIID", L"KA", kOther) +
             Entry(L"D", L"OICIID", L"0x2", kTarget) + Entry(L"A", L"OICIID", L"KA", kTarget),
         full,
         true,
         {{kAllowed, 0, KEY_READ, kOther}, {kAllowed, kEverywhere, KEY_SET_VALUE, kTarget}}},
        {"a removed denial leaves the later grant standing",
         L"D:" + Entry(L"D", L"OICI", L"0x2", kTarget) + Entry(L"A", L"OICI", L"KA", kTarget),
         full,
         true,
         {{kAllowed, kEverywhere, kFullControl, kTarget}}},
        {"a partial grant is completed",
         L"D:" + Entry(L"A", L"OICI", L"KR", kTarget),
         full,
         true,
         {{kAllowed, kEverywhere, KEY_READ, kTarget},
          {kAllowed, kEverywhere, kFullControl & ~KEY_READ, kTarget}}},
        {"rights that do not propagate",
         L"D:",
         readWithoutPropagation,
         true,
         {{kAllowed, NO_PROPAGATE_INHERIT_ACE | CONTAINER_INHERIT_ACE, KEY_READ, kTarget}}},
        {"the empty request changes nothing",
         L"D:" + Entry(L"D", L"", L"KA", kTarget),
         RightsRequest{},
         false,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const SddlDacl old(c.sddl);
        ASSERT_NE(old.dacl(), nullptr);
        const MergeResult result = Merge(old.dacl(), c.request);
        EXPECT_EQ(result.changed, c.changed);
        if (c.changed) {
            EXPECT_EQ(result.entries, c.entries);
        }
    }
}

TEST(DaclMerge, ANullDaclGrantsEverythingAlready) {
    EXPECT_FALSE(Merge(nullptr, ZOLT::FullControlRequest()).changed);
}

// An allowed object entry with both GUIDs, put together by hand (Wine has no
// AddAccessAllowedObjectAce).
std::vector<DWORD> ObjectEntry(PSID sid, BYTE flags, ACCESS_MASK mask) {
    const DWORD sidBytes = GetLengthSid(sid);
    const DWORD size =
        sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + sizeof(DWORD) + 2 * sizeof(GUID) + sidBytes;
    std::vector<DWORD> entry((size + 3) / 4);
    auto* bytes = reinterpret_cast<BYTE*>(entry.data());
    auto* header = reinterpret_cast<ACE_HEADER*>(bytes);
    header->AceType = ACCESS_ALLOWED_OBJECT_ACE_TYPE;
    header->AceFlags = flags;
    header->AceSize = static_cast<WORD>(entry.size() * sizeof(DWORD));
    size_t at = sizeof(ACE_HEADER);
    std::memcpy(bytes + at, &mask, sizeof(mask));
    at += sizeof(mask);
    const DWORD objectFlags = ACE_OBJECT_TYPE_PRESENT | ACE_INHERITED_OBJECT_TYPE_PRESENT;
    std::memcpy(bytes + at, &objectFlags, sizeof(objectFlags));
    at += sizeof(objectFlags);
    const GUID objectType = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    std::memcpy(bytes + at, &objectType, sizeof(GUID));
    std::memcpy(bytes + at + sizeof(GUID), &objectType, sizeof(GUID));
    at += 2 * sizeof(GUID);
    CopySid(sidBytes, bytes + at, sid);
    return entry;
}

// Object entries put their flags and GUIDs before the SID; the SID must still
// be found to tell that the target holds the rights.
TEST(DaclMerge, ObjectEntriesAreReadForTheirSid) {
    const ZOLT::SidValue target = SidFromText(kTarget);
    std::vector<DWORD> buffer(256);
    auto* acl = reinterpret_cast<PACL>(buffer.data());
    ASSERT_TRUE(InitializeAcl(acl, 1024, ACL_REVISION_DS));
    std::vector<DWORD> entry = ObjectEntry(target.Get(), kEverywhere, KEY_ALL_ACCESS);
    ASSERT_TRUE(AddAce(acl, ACL_REVISION_DS, MAXDWORD, entry.data(),
                       static_cast<DWORD>(entry.size() * sizeof(DWORD))));
    EXPECT_FALSE(Merge(acl, ZOLT::FullControlRequest()).changed);

    // Kept unchanged, with its GUIDs, when the grant has to be completed.
    RightsRequest withSynchronize = ZOLT::FullControlRequest();
    withSynchronize.propagating.object |= SYNCHRONIZE;
    const MergeResult result = Merge(acl, withSynchronize);
    EXPECT_TRUE(result.changed);
    ASSERT_EQ(result.entries.size(), 2u);
    EXPECT_EQ(result.entries[0].type, ACCESS_ALLOWED_OBJECT_ACE_TYPE);
    EXPECT_EQ(result.entries[1], (AceRecord{kAllowed, 0, SYNCHRONIZE, kTarget}));
}

TEST(DaclMerge, AnEntryTypeOutsideAllowedAndDeniedIsAnError) {
    const ZOLT::SidValue target = SidFromText(kTarget);
    std::vector<DWORD> buffer(256);
    auto* acl = reinterpret_cast<PACL>(buffer.data());
    ASSERT_TRUE(InitializeAcl(acl, 1024, ACL_REVISION));
    ASSERT_TRUE(
        AddAuditAccessAceEx(acl, ACL_REVISION, 0, KEY_ALL_ACCESS, target.Get(), TRUE, TRUE));
    try {
        Merge(acl, ZOLT::FullControlRequest());
        ADD_FAILURE() << "no error for an audit entry";
    } catch (const CRightsChecker::Exception& e) {
        EXPECT_EQ(e.Code(), static_cast<uint32_t>(CRightsChecker::ErrorCode::UnhandledEntryType));
    }
}

// A DACL holds at most 64 KiB: the builder grows up to that and then reports
// which kind of entry did not fit.
TEST(AclBuilder, GrowsToTheLargestDaclAndThenRefuses) {
    const ZOLT::SidValue target = SidFromText(kTarget);
    constexpr DWORD kEntryBytes = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + 28;
    constexpr DWORD kMaxEntries = (0xFFFC - sizeof(ACL)) / kEntryBytes;
    for (const auto kind : {ZOLT::EntryKind::Allowed, ZOLT::EntryKind::Denied}) {
        AclBuilder acl;
        uint32_t code = 0;
        try {
            for (DWORD i = 0; i <= kMaxEntries; ++i) acl.Add(kind, i + 1, 0, target.Get());
        } catch (const CRightsChecker::Exception& e) {
            code = e.Code();
        }
        EXPECT_EQ(code,
                  static_cast<uint32_t>(kind == ZOLT::EntryKind::Allowed
                                            ? CRightsChecker::ErrorCode::AllowedEntryNotAdded
                                            : CRightsChecker::ErrorCode::DeniedEntryNotAdded));
        ASSERT_EQ(acl.Count(), kMaxEntries);
        const std::vector<AceRecord> entries = qvdtest::AclEntries(acl.Acl());
        EXPECT_EQ(entries.back().mask, kMaxEntries);
        EXPECT_EQ(entries.front().sid, kTarget);
    }
}

}  // namespace
