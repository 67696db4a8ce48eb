// The rights checker on real keys under Wine, which honours DACLs, owners and
// deny entries on registry keys. Each test works beneath a key of its own.
#include "support/security/RightsChecker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestKeySecurity.h"
#include "common/TestSupport.h"
#include "support/security/RegistryObjectName.h"

namespace {

using qvdtest::AceRecord;
using qvdtest::PluginTestKey;
using ZOLT::CRightsChecker;

constexpr BYTE kAllowed = ACCESS_ALLOWED_ACE_TYPE;
constexpr BYTE kEverywhere = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
const std::wstring kLocalSystem = L"S-1-5-18";

std::wstring Ace(const wchar_t* type, const wchar_t* rights, const std::wstring& sid) {
    return std::wstring(L"(") + type + L";;" + rights + L";;;" + sid + L")";
}

class GrantRightsTest : public ::testing::Test {
protected:
    GrantRightsTest() : m_user(qvdtest::ProcessUserSidText()) {
        EXPECT_EQ(qvdtest::CreatePlainKey(m_key.root(), Path(), m_key.view()), ERROR_SUCCESS);
    }
    std::wstring Path() const { return m_key.Path(L"granted"); }
    LONG Lock(const std::wstring& sddl) {
        return qvdtest::SetKeySecurity(m_key.root(), Path(), m_key.view(), sddl);
    }
    std::vector<AceRecord> Entries() const {
        return qvdtest::KeyDaclEntries(m_key.root(), Path(), m_key.view());
    }
    HRESULT GrantToUser() {
        return CRightsChecker::GrantRightsToProcessUser(m_key.root(), Path(), m_key.view(),
                                                        ZOLT::FullControlRequest());
    }

    PluginTestKey m_key;
    std::wstring m_user;
};

TEST_F(GrantRightsTest, RightsAlreadyHeldChangeNothing) {
    const std::wstring sddl = L"D:(A;OICI;KA;;;" + m_user + L")";
    ASSERT_EQ(Lock(sddl), ERROR_SUCCESS);
    const std::vector<AceRecord> before = Entries();
    EXPECT_EQ(GrantToUser(), CRightsChecker::kNoChangeNeeded);
    EXPECT_EQ(Entries(), before);
}

TEST_F(GrantRightsTest, ADenialOfTheUserIsReplacedByFullControl) {
    ASSERT_EQ(Lock(L"D:" + Ace(L"D", L"0x2", m_user) + L"(A;OICI;KA;;;BA)"), ERROR_SUCCESS);
    ASSERT_EQ(qvdtest::OpenResult(m_key.root(), Path(), m_key.view(), KEY_ALL_ACCESS),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(GrantToUser(), CRightsChecker::kDaclWritten);
    EXPECT_EQ(Entries(),
              (std::vector<AceRecord>{{kAllowed, kEverywhere, KEY_ALL_ACCESS, L"S-1-5-32-544"},
                                      {kAllowed, kEverywhere, KEY_ALL_ACCESS, m_user}}));
    EXPECT_EQ(qvdtest::OpenResult(m_key.root(), Path(), m_key.view(), KEY_ALL_ACCESS),
              ERROR_SUCCESS);
}

TEST_F(GrantRightsTest, AKeyThatCannotBeReadFailsWithoutAChange) {
    ASSERT_EQ(Lock(L"D:" + Ace(L"D", L"KA", m_user) + L"(A;;KA;;;BA)"), ERROR_SUCCESS);
    const std::vector<AceRecord> before = Entries();
    EXPECT_EQ(GrantToUser(), E_FAIL);
    EXPECT_EQ(Entries(), before);
    EXPECT_EQ(CRightsChecker::GrantRightsToProcessUser(m_key.root(), m_key.Path(L"missing"),
                                                       m_key.view(), ZOLT::FullControlRequest()),
              E_FAIL);
}

// Owned by LocalSystem and not writable for the user, but the user may change
// the owner: the checker takes the key over and writes the DACL as its owner.
TEST_F(GrantRightsTest, ADaclThatCannotBeWrittenIsWrittenAfterTakingOwnership) {
    ASSERT_EQ(Lock(L"O:SYD:" + Ace(L"A", L"0xA0019", m_user)), ERROR_SUCCESS);
    ASSERT_EQ(qvdtest::KeyOwnerText(m_key.root(), Path(), m_key.view()), kLocalSystem);
    ASSERT_EQ(qvdtest::OpenResult(m_key.root(), Path(), m_key.view(), WRITE_DAC),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(GrantToUser(), CRightsChecker::kDaclWritten);
    EXPECT_EQ(qvdtest::KeyOwnerText(m_key.root(), Path(), m_key.view()), m_user);
    EXPECT_EQ(qvdtest::OpenResult(m_key.root(), Path(), m_key.view(), KEY_ALL_ACCESS),
              ERROR_SUCCESS);
}

// Neither the DACL nor the owner can be changed (Wine lets the DACL alone
// grant the right to change the owner, not SeTakeOwnershipPrivilege): the
// write's error comes back, as the result and as the thread's last error, and
// nothing changes.
TEST_F(GrantRightsTest, AKeyThatCannotBeTakenOverReportsTheWriteError) {
    // DELETE only so that the test can remove the key afterwards.
    ASSERT_EQ(Lock(L"O:SYD:" + Ace(L"A", L"0x30019", m_user)), ERROR_SUCCESS);
    const std::vector<AceRecord> before = Entries();
    EXPECT_EQ(GrantToUser(), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Entries(), before);
    EXPECT_EQ(qvdtest::KeyOwnerText(m_key.root(), Path(), m_key.view()), kLocalSystem);
}

TEST(RegistryObjectName, NamesTheFourRootsAndRefusesOthers) {
    const struct {
        HKEY root;
        const wchar_t* name;
    } rows[] = {
        {HKEY_LOCAL_MACHINE, L"MACHINE\\Software\\Halvex"},
        {HKEY_CURRENT_USER, L"CURRENT_USER\\Software\\Halvex"},
        {HKEY_USERS, L"USERS\\Software\\Halvex"},
        {HKEY_CLASSES_ROOT, L"CLASSES_ROOT\\Software\\Halvex"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ZOLT::RegistryObjectName(row.root, L"Software\\Halvex"), row.name);
    for (HKEY other : {HKEY_CURRENT_CONFIG, HKEY_PERFORMANCE_DATA}) {
        try {
            ZOLT::RegistryObjectName(other, L"Software");
            ADD_FAILURE() << "no error for a root outside the table";
        } catch (const CRightsChecker::Exception& e) {
            EXPECT_EQ(e.Code(), static_cast<uint32_t>(CRightsChecker::ErrorCode::UnknownRootKey));
        }
    }
    EXPECT_THROW(static_cast<void>(CRightsChecker::GrantRightsToProcessUser(
                     HKEY_CURRENT_CONFIG, L"Software", 0, ZOLT::FullControlRequest())),
                 CRightsChecker::Exception);
}

// The reset leaves no explicit entry, and it reaches the key of its own view
// only: a 32-bit key is named for the 32-bit view, where the plain name would
// reach its 64-bit twin. (Wine accepts the 32-bit name but changes nothing,
// so only the twin's side of that shows here.)
TEST(ResetDaclToInherited, ChangesOnlyTheKeyOfItsOwnView) {
    const std::wstring locked =
        L"D:" + Ace(L"D", L"KA", qvdtest::ProcessUserSidText()) + L"(A;;KA;;;BA)";
    PluginTestKey key64(HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
    PluginTestKey key32(key64, KEY_WOW64_32KEY);
    for (const PluginTestKey* key : {&key64, &key32})
        ASSERT_EQ(qvdtest::SetKeySecurity(key->root(), key->Path(), key->view(), locked),
                  ERROR_SUCCESS);
    const std::vector<AceRecord> lockedEntries =
        qvdtest::KeyDaclEntries(HKEY_LOCAL_MACHINE, key64.Path(), KEY_WOW64_64KEY);
    const std::wstring name = ZOLT::RegistryObjectName(HKEY_LOCAL_MACHINE, key64.Path());

    EXPECT_EQ(CRightsChecker::ResetDaclToInherited(name, KEY_WOW64_32KEY), ERROR_SUCCESS);
    EXPECT_EQ(qvdtest::KeyDaclEntries(HKEY_LOCAL_MACHINE, key64.Path(), KEY_WOW64_64KEY),
              lockedEntries);

    EXPECT_EQ(CRightsChecker::ResetDaclToInherited(name, KEY_WOW64_64KEY), ERROR_SUCCESS);
    const std::vector<AceRecord> reset =
        qvdtest::KeyDaclEntries(HKEY_LOCAL_MACHINE, key64.Path(), KEY_WOW64_64KEY);
    EXPECT_NE(reset, lockedEntries);
    for (const AceRecord& entry : reset) EXPECT_NE(entry.flags & INHERITED_ACE, 0) << entry;
}

}  // namespace
