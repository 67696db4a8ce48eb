// The access repair end to end on keys the tests lock under Wine, where a
// deny entry refuses the open with error 5 for real.
#include "support/registry/KeyAccessRepair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "support/security/TestKeySecurity.h"

namespace {

using pxLib::RepairKeyPathAccess;
using qvdtest::AceRecord;
using qvdtest::PluginTestKey;

constexpr REGSAM kView = KEY_WOW64_64KEY;

class KeyAccessRepairTest : public ::testing::Test {
protected:
    KeyAccessRepairTest() : m_user(qvdtest::ProcessUserSidText()) {}

    void MakeKey(const std::wstring& sub, const std::wstring& sddl = {}) { m_key.Make(sub, sddl); }
    static std::wstring Denying(const std::wstring& rights, const wchar_t* flags = L"") {
        return qvdtest::DenyingProcessUser(rights, flags);
    }
    LONG OpenAll(const std::wstring& sub) const {
        return qvdtest::OpenResult(HKEY_CURRENT_USER, m_key.Path(sub), kView, KEY_ALL_ACCESS);
    }
    std::vector<AceRecord> Entries(const std::wstring& sub) const {
        return qvdtest::KeyDaclEntries(HKEY_CURRENT_USER, m_key.Path(sub), kView);
    }
    bool HasExplicitDenial(const std::wstring& sub) const {
        for (const AceRecord& entry : Entries(sub))
            if (entry.type == ACCESS_DENIED_ACE_TYPE && (entry.flags & INHERITED_ACE) == 0)
                return true;
        return false;
    }

    PluginTestKey m_key;
    std::wstring m_user;
};

TEST_F(KeyAccessRepairTest, AKeyThatRefusesTheUserOpensAfterTheRepair) {
    MakeKey(L"locked", Denying(qvdtest::kAllButReading));
    ASSERT_EQ(OpenAll(L"locked"), ERROR_ACCESS_DENIED);

    EXPECT_EQ(
        RepairKeyPathAccess(HKEY_CURRENT_USER, m_key.Path(L"locked"), KEY_ALL_ACCESS, false, 0),
        S_OK);
    EXPECT_EQ(OpenAll(L"locked"), ERROR_SUCCESS);
    const std::vector<AceRecord> entries = Entries(L"locked");
    for (const std::wstring& sid :
         {m_user, std::wstring(L"S-1-5-32-544"), std::wstring(L"S-1-5-18")})
        EXPECT_NE(
            std::find(entries.begin(), entries.end(),
                      AceRecord{ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                KEY_ALL_ACCESS, sid}),
            entries.end())
            << qvdtest::Narrow(sid);
    EXPECT_FALSE(HasExplicitDenial(L"locked"));
}

// A parent that cannot even be read is reset to inherited entries; the child,
// which carries the parent's denial as an inherited entry, opens afterwards.
// The path is written with backslashes, forward slashes and both.
TEST_F(KeyAccessRepairTest, ADeniedParentIsResetAndTheChildThenOpens) {
    struct Case {
        const char* label;
        std::wstring parent;
        std::wstring below;  // how the path goes on below the test key
        bool slashesOnly;
    };
    const std::vector<Case> cases = {
        {"backslashes", L"parent-a", L"\\parent-a\\child", false},
        {"forward slashes", L"parent-b", L"\\parent-b\\child", true},
        {"both", L"parent-c", L"/parent-c\\child", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::wstring child = c.parent + L"\\child";
        MakeKey(child, Denying(L"0x2", L"OICIID"));
        MakeKey(c.parent, Denying(L"KA", L"OICI"));
        ASSERT_EQ(OpenAll(c.parent), ERROR_ACCESS_DENIED);
        ASSERT_EQ(OpenAll(child), ERROR_ACCESS_DENIED);

        std::wstring path = m_key.Path() + c.below;
        if (c.slashesOnly)
            for (wchar_t& ch : path)
                if (ch == L'\\') ch = L'/';
        EXPECT_EQ(RepairKeyPathAccess(HKEY_CURRENT_USER, path, KEY_ALL_ACCESS, false, 0), S_OK);
        EXPECT_EQ(OpenAll(child), ERROR_SUCCESS);
        EXPECT_FALSE(HasExplicitDenial(c.parent));
        for (const AceRecord& entry : Entries(child))
            EXPECT_EQ(entry.flags & INHERITED_ACE, 0) << entry;
    }
}

// A key named Wow6432Node that refuses access is passed over: its DACL is
// never rewritten, only the key asked for is repaired.
TEST_F(KeyAccessRepairTest, AWow6432NodeKeyIsNeverRewritten) {
    const struct {
        const wchar_t* holder;
        const wchar_t* node;
    } cases[] = {{L"holder-1", L"Wow6432Node"}, {L"holder-2", L"WOW6432NODE"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(qvdtest::Narrow(c.node));
        const std::wstring nodeKey = std::wstring(c.holder) + L"\\" + c.node;
        const std::wstring child = nodeKey + L"\\child";
        MakeKey(child, Denying(qvdtest::kAllButReading));
        MakeKey(nodeKey, Denying(L"KA", L"OICI"));
        const std::vector<AceRecord> nodeEntries = Entries(nodeKey);

        EXPECT_EQ(
            RepairKeyPathAccess(HKEY_CURRENT_USER, m_key.Path(child), KEY_ALL_ACCESS, false, 0),
            S_OK);
        EXPECT_EQ(OpenAll(child), ERROR_SUCCESS);
        EXPECT_EQ(Entries(nodeKey), nodeEntries);
        EXPECT_EQ(OpenAll(nodeKey), ERROR_ACCESS_DENIED);
    }
}

TEST_F(KeyAccessRepairTest, KeysOutsideThePluginsOwnAreNeverChanged) {
    qvdtest::ScopedRegistryKey outside(HKEY_CURRENT_USER,
                                       L"Software\\QVDTest-Outside-" + qvdtest::NewGuidText());
    const std::wstring outsideDacl = Denying(qvdtest::kAllButReading);
    ASSERT_EQ(qvdtest::SetKeySecurity(HKEY_CURRENT_USER, outside.path(), kView, outsideDacl),
              ERROR_SUCCESS);
    const std::vector<AceRecord> before =
        qvdtest::KeyDaclEntries(HKEY_CURRENT_USER, outside.path(), kView);
    MakeKey(L"locked", Denying(qvdtest::kAllButReading));
    const std::vector<AceRecord> lockedBefore = Entries(L"locked");
    const std::wstring halvexLookalike = L"Software\\HalvexOther\\" + m_key.Path(L"locked");

    struct Case {
        const char* label;
        HKEY root;
        std::wstring path;
    };
    const std::vector<Case> cases = {
        {"another key of Software", HKEY_CURRENT_USER, outside.path()},
        {"a name that only starts like the plug-in's", HKEY_CURRENT_USER, halvexLookalike},
        {"a root the plug-in does not use", HKEY_USERS, m_key.Path(L"locked")},
        {"the plug-in's key below another", HKEY_CURRENT_USER, L"Other\\" + m_key.Path(L"locked")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(RepairKeyPathAccess(c.root, c.path, KEY_ALL_ACCESS, false, 0), E_ACCESSDENIED);
        EXPECT_EQ(pxLib::RepairKeyAccess(c.root, c.path, KEY_ALL_ACCESS, false, 0), E_ACCESSDENIED);
    }
    EXPECT_EQ(qvdtest::KeyDaclEntries(HKEY_CURRENT_USER, outside.path(), kView), before);
    EXPECT_EQ(Entries(L"locked"), lockedBefore);
    qvdtest::UnlockAndDeleteTree(HKEY_CURRENT_USER, outside.path(), kView);
}

// Keys the repair has to create on the way are plain; only the key asked for
// gets the options asked for.
TEST_F(KeyAccessRepairTest, CreatingMakesOnlyTheLastKeyAsAsked) {
    EXPECT_EQ(RepairKeyPathAccess(HKEY_CURRENT_USER, m_key.Path(L"made\\volatile"), KEY_ALL_ACCESS,
                                  true, REG_OPTION_VOLATILE),
              S_OK);
    EXPECT_TRUE(qvdtest::IsVolatileKey(HKEY_CURRENT_USER, m_key.Path(L"made\\volatile"), kView));
    EXPECT_FALSE(qvdtest::IsVolatileKey(HKEY_CURRENT_USER, m_key.Path(L"made"), kView));
}

TEST_F(KeyAccessRepairTest, AMissingKeyIsNotCreatedUnlessAsked) {
    EXPECT_EQ(RepairKeyPathAccess(HKEY_CURRENT_USER, m_key.Path(L"missing\\deeper"), KEY_ALL_ACCESS,
                                  false, 0),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(OpenAll(L"missing"), ERROR_FILE_NOT_FOUND);
}

}  // namespace
