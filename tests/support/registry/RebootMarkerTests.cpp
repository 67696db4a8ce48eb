// The machine-wide restart marker under Wine, with the real marker key
// (HKLM\SOFTWARE\Halvex\Reboot in the 32-bit view). Each test puts the
// marker and its parent back as it found them.
#include "support/registry/RebootMarker.h"

#include <gtest/gtest.h>

#include <string>

#include "common/TestSupport.h"
#include "support/security/TestKeySecurity.h"

namespace {

constexpr REGSAM kView = KEY_WOW64_32KEY;
const std::wstring kParent = L"SOFTWARE\\Halvex";
const std::wstring kMarker = L"SOFTWARE\\Halvex\\Reboot";
const std::wstring kProbe = L"SOFTWARE\\Halvex\\Reboot\\SubKey";
const std::wstring kUserMarker = L"Software\\Halvex\\Reboot";

bool Exists(HKEY root, const std::wstring& path, REGSAM view = kView) {
    return qvdtest::OpenResult(root, path, view, KEY_READ) == ERROR_SUCCESS;
}

class RebootMarkerTest : public ::testing::Test {
protected:
    RebootMarkerTest()
        : m_parentExisted(Exists(HKEY_LOCAL_MACHINE, kParent)),
          m_markerExisted(Exists(HKEY_LOCAL_MACHINE, kMarker)),
          m_markerWasVolatile(qvdtest::IsVolatileKey(HKEY_LOCAL_MACHINE, kMarker, kView)),
          m_userMarkerExisted(Exists(HKEY_CURRENT_USER, kUserMarker, KEY_WOW64_64KEY)) {
        qvdtest::UnlockAndDeleteTree(HKEY_LOCAL_MACHINE, kMarker, kView);
    }
    ~RebootMarkerTest() override {
        qvdtest::UnlockAndDeleteTree(HKEY_LOCAL_MACHINE, kMarker, kView);
        if (m_parentExisted)
            qvdtest::CreatePlainKey(HKEY_LOCAL_MACHINE, kParent, kView);
        else if (qvdtest::IsEmptyKey(HKEY_LOCAL_MACHINE, kParent, kView))
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kParent.c_str(), kView, 0);
        if (m_markerExisted)
            qvdtest::CreatePlainKey(HKEY_LOCAL_MACHINE, kMarker, kView,
                                    m_markerWasVolatile ? REG_OPTION_VOLATILE : 0);
    }

    void PlaceMarker(DWORD options) {
        ASSERT_EQ(qvdtest::CreatePlainKey(HKEY_LOCAL_MACHINE, kMarker, kView, options),
                  ERROR_SUCCESS);
        ASSERT_EQ(
            qvdtest::CreatePlainKey(HKEY_LOCAL_MACHINE, kMarker + L"\\inside", kView, options),
            ERROR_SUCCESS);
    }
    void ExpectNothingLeftBehind() const {
        EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kProbe));
        EXPECT_EQ(Exists(HKEY_CURRENT_USER, kUserMarker, KEY_WOW64_64KEY), m_userMarkerExisted);
        EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kMarker, KEY_WOW64_64KEY))
            << "the 64-bit view is not the marker's";
    }

    bool m_parentExisted;
    bool m_markerExisted;
    bool m_markerWasVolatile;
    bool m_userMarkerExisted;
};

TEST_F(RebootMarkerTest, AnAbsentMarkerMeansNoRestartAndCreatesNothing) {
    EXPECT_FALSE(pxLib::IsRebootPending());
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kMarker));
    EXPECT_EQ(Exists(HKEY_LOCAL_MACHINE, kParent), m_parentExisted);
    ExpectNothingLeftBehind();
}

TEST_F(RebootMarkerTest, AVolatileMarkerIsLeftAsItIs) {
    PlaceMarker(REG_OPTION_VOLATILE);
    EXPECT_TRUE(pxLib::IsRebootPending());
    EXPECT_TRUE(qvdtest::IsVolatileKey(HKEY_LOCAL_MACHINE, kMarker, kView));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kMarker + L"\\inside"));
    ExpectNothingLeftBehind();
}

// A marker that would outlive the restart is replaced by a volatile one; Wine
// shows the difference by refusing a plain child with
// ERROR_CHILD_MUST_BE_VOLATILE.
TEST_F(RebootMarkerTest, APlainMarkerIsMadeVolatile) {
    PlaceMarker(0);
    ASSERT_FALSE(qvdtest::IsVolatileKey(HKEY_LOCAL_MACHINE, kMarker, kView));
    EXPECT_TRUE(pxLib::IsRebootPending());
    EXPECT_TRUE(qvdtest::IsVolatileKey(HKEY_LOCAL_MACHINE, kMarker, kView));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kMarker + L"\\inside"));
    EXPECT_FALSE(qvdtest::IsVolatileKey(HKEY_LOCAL_MACHINE, kParent, kView));
    EXPECT_TRUE(pxLib::IsRebootPending()) << "still pending after the conversion";
    ExpectNothingLeftBehind();
}

// The marker refuses the process user everything but reading: it is repaired
// on the way and converted all the same.
TEST_F(RebootMarkerTest, ARefusingPlainMarkerIsRepairedAndMadeVolatile) {
    PlaceMarker(0);
    ASSERT_EQ(qvdtest::SetKeySecurity(HKEY_LOCAL_MACHINE, kMarker, kView,
                                      qvdtest::DenyingProcessUser(qvdtest::kAllButReading)),
              ERROR_SUCCESS);
    EXPECT_TRUE(pxLib::IsRebootPending());
    EXPECT_TRUE(qvdtest::IsVolatileKey(HKEY_LOCAL_MACHINE, kMarker, kView));
    ExpectNothingLeftBehind();
}

TEST_F(RebootMarkerTest, DeleteAndCreateWorkOnTheWholeMarker) {
    PlaceMarker(0);
    EXPECT_TRUE(pxLib::DeleteRebootKey());
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kMarker));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kParent));

    EXPECT_TRUE(pxLib::CreateVolatileRebootKey());
    EXPECT_TRUE(qvdtest::IsVolatileKey(HKEY_LOCAL_MACHINE, kMarker, kView));
    EXPECT_TRUE(pxLib::CreateVolatileRebootKey()) << "an existing marker is opened";
}

// Created in one go, the missing parent would be volatile as well, and no
// plain key could be made beneath SOFTWARE\Halvex until the next restart.
TEST_F(RebootMarkerTest, CreatingTheMarkerMakesAMissingParentPlain) {
    // An empty parent left by other tests is taken away for this one and put back.
    if (m_parentExisted) {
        if (!qvdtest::IsEmptyKey(HKEY_LOCAL_MACHINE, kParent, kView))
            GTEST_SKIP() << "SOFTWARE\\Halvex holds other keys in the 32-bit view";
        ASSERT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kParent.c_str(), kView, 0), ERROR_SUCCESS);
    }
    EXPECT_TRUE(pxLib::CreateVolatileRebootKey());
    EXPECT_TRUE(qvdtest::IsVolatileKey(HKEY_LOCAL_MACHINE, kMarker, kView));
    EXPECT_FALSE(qvdtest::IsVolatileKey(HKEY_LOCAL_MACHINE, kParent, kView));
}

}  // namespace
