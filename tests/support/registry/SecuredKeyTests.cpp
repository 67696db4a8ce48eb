// The secured key under Wine: opening, creating and deleting keys that
// refuse the process user, each repaired once.
#include "support/registry/SecuredKey.h"

#include <gtest/gtest.h>

#include <string>

#include "common/TestSupport.h"
#include "support/security/TestKeySecurity.h"

namespace {

using pxLib::SecuredKey;
using qvdtest::PluginTestKey;

constexpr REGSAM kView = KEY_WOW64_64KEY;

class SecuredKeyTest : public ::testing::Test {
protected:
    void MakeKey(const std::wstring& sub, const wchar_t* deniedRights = nullptr) {
        m_key.Make(sub, deniedRights ? qvdtest::DenyingProcessUser(deniedRights) : L"");
    }
    LONG Exists(const std::wstring& sub) const {
        return qvdtest::OpenResult(HKEY_CURRENT_USER, m_key.Path(sub), kView, KEY_READ);
    }

    PluginTestKey m_key;
};

TEST_F(SecuredKeyTest, OpenSecuredRepairsAKeyThatRefusesTheUser) {
    MakeKey(L"locked", qvdtest::kAllButReading);
    SecuredKey key;
    EXPECT_TRUE(key.OpenSecured(HKEY_CURRENT_USER, m_key.Path(L"locked"), KEY_ALL_ACCESS));
    EXPECT_EQ(key.LastError(), ERROR_SUCCESS);
    EXPECT_TRUE(key.SetDWORD(L"written", 1));
    EXPECT_EQ(key.Root(), HKEY_CURRENT_USER);
    EXPECT_EQ(key.Path(), m_key.Path(L"locked"));
    EXPECT_EQ(key.Access(), static_cast<REGSAM>(KEY_ALL_ACCESS));
}

TEST_F(SecuredKeyTest, AMissingKeyIsNeitherRepairedNorCreated) {
    SecuredKey key;
    EXPECT_FALSE(key.OpenSecured(HKEY_CURRENT_USER, m_key.Path(L"missing"), KEY_ALL_ACCESS));
    EXPECT_EQ(key.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(key.OpenOrCreateSecured(HKEY_CURRENT_USER, m_key.Path(L"missing"), KEY_ALL_ACCESS,
                                         false, 0));
    EXPECT_EQ(key.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Exists(L"missing"), ERROR_FILE_NOT_FOUND);
}

TEST_F(SecuredKeyTest, OpenOrCreateSecuredRepairsAnExistingKeyOrCreatesAMissingOne) {
    MakeKey(L"locked", qvdtest::kAllButReading);
    SecuredKey key;
    EXPECT_TRUE(
        key.OpenOrCreateSecured(HKEY_CURRENT_USER, m_key.Path(L"locked"), KEY_ALL_ACCESS, true, 0));
    EXPECT_TRUE(key.SetDWORD(L"written", 1));
    EXPECT_TRUE(key.OpenOrCreateSecured(HKEY_CURRENT_USER, m_key.Path(L"made"), KEY_ALL_ACCESS,
                                        true, REG_OPTION_VOLATILE));
    EXPECT_TRUE(qvdtest::IsVolatileKey(HKEY_CURRENT_USER, m_key.Path(L"made"), kView));
}

// A key the repair may not change stays refused, and the open says so.
TEST_F(SecuredKeyTest, AKeyOutsideThePluginsOwnStaysRefused) {
    qvdtest::ScopedRegistryKey outside(HKEY_CURRENT_USER,
                                       L"Software\\QVDTest-Outside-" + qvdtest::NewGuidText());
    ASSERT_EQ(qvdtest::SetKeySecurity(HKEY_CURRENT_USER, outside.path(), kView,
                                      qvdtest::DenyingProcessUser(qvdtest::kAllButReading)),
              ERROR_SUCCESS);
    SecuredKey key;
    EXPECT_FALSE(key.OpenSecured(HKEY_CURRENT_USER, outside.path(), KEY_ALL_ACCESS));
    EXPECT_EQ(key.LastError(), ERROR_ACCESS_DENIED);
    qvdtest::UnlockAndDeleteTree(HKEY_CURRENT_USER, outside.path(), kView);
}

TEST_F(SecuredKeyTest, CreateUserKeyMakesAPlainKeyAndRepairsOneThatRefuses) {
    SecuredKey key;
    ASSERT_TRUE(key.CreateUserKey(m_key.Path(L"user\\made")));
    EXPECT_EQ(key.Root(), HKEY_CURRENT_USER);
    EXPECT_EQ(key.Access(), static_cast<REGSAM>(KEY_ALL_ACCESS | KEY_WOW64_32KEY));
    EXPECT_FALSE(qvdtest::IsVolatileKey(HKEY_CURRENT_USER, m_key.Path(L"user\\made"), kView));

    MakeKey(L"refusing", qvdtest::kAllButReading);
    EXPECT_TRUE(key.CreateUserKey(m_key.Path(L"refusing")));
    EXPECT_TRUE(key.SetDWORD(L"written", 1));
}

// Deletion is refused at the top and again further down: each refusing key is
// repaired on the way and the whole tree goes.
TEST_F(SecuredKeyTest, DeleteKeyTreeRepairsAndDeletesRefusingKeys) {
    MakeKey(L"tree\\plain\\leaf");
    MakeKey(L"tree\\refusing\\leaf", qvdtest::kAllButReading);
    MakeKey(L"tree\\refusing", qvdtest::kAllButReading);
    MakeKey(L"tree", qvdtest::kAllButReading);
    MakeKey(L"sibling");

    SecuredKey parent;
    ASSERT_TRUE(parent.OpenSecured(HKEY_CURRENT_USER, m_key.Path(), KEY_ALL_ACCESS));
    ASSERT_FALSE(parent.DeleteSubKey(L"tree"));
    ASSERT_EQ(parent.LastError(), ERROR_ACCESS_DENIED);

    EXPECT_TRUE(parent.DeleteKeyTree(L"tree"));
    EXPECT_EQ(Exists(L"tree"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Exists(L"sibling"), ERROR_SUCCESS);

    EXPECT_FALSE(parent.DeleteKeyTree(L"tree"));
    EXPECT_EQ(parent.LastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
