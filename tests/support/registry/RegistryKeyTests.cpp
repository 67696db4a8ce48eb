// The registry key wrapper against Wine's real registry. Each test works
// beneath its own key, removed afterwards in both views.
#include "support/registry/RegistryKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "support/TestOsVersion.h"
#include "support/logging/TraceRecorder.h"
#include "support/system/UniqueHandle.h"

namespace {

using pxLib::RegistryKey;
using pxLib::UniqueRegKey;

std::wstring UniqueName(const wchar_t* prefix) {
    static LONG counter = 0;
    return std::wstring(prefix) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount64()) + L"-" +
           std::to_wstring(InterlockedIncrement(&counter));
}

// Independent of the wrapper, so that a fault in it cannot hide itself.
LONG RawCreate(HKEY root, const std::wstring& path, DWORD options, REGSAM view = 0) {
    UniqueRegKey key;
    return RegCreateKeyExW(root, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS | view, nullptr,
                           key.put(), nullptr);
}

bool RawExists(HKEY root, const std::wstring& path, REGSAM view = 0) {
    UniqueRegKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
}

LONG RawSetValue(HKEY root, const std::wstring& path, const wchar_t* name, DWORD type,
                 const void* data, DWORD size, REGSAM view = 0) {
    UniqueRegKey key;
    LONG rc = RegOpenKeyExW(root, path.c_str(), 0, KEY_SET_VALUE | view, key.put());
    if (rc != ERROR_SUCCESS) return rc;
    return RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size);
}

// A volatile key refuses a non-volatile child with ERROR_CHILD_MUST_BE_VOLATILE.
bool IsVolatile(HKEY root, const std::wstring& path, REGSAM view = 0) {
    UniqueRegKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) != ERROR_SUCCESS)
        return false;
    UniqueRegKey child;
    const LONG rc =
        RegCreateKeyExW(key.get(), L"volatility-check", 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ, nullptr, child.put(), nullptr);
    if (rc == ERROR_SUCCESS) {
        child.reset();
        RegDeleteKeyW(key.get(), L"volatility-check");
    }
    return rc == ERROR_CHILD_MUST_BE_VOLATILE;
}

class RegistryKeyTest : public ::testing::Test {
protected:
    RegistryKeyTest()
        : m_scope(HKEY_CURRENT_USER, L"Software\\QVDTest\\" + UniqueName(L"Registry")) {}
    std::wstring Path(const std::wstring& sub = {}) const {
        return sub.empty() ? m_scope.path() : m_scope.path() + L"\\" + sub;
    }

    qvdtest::ScopedRegistryKey m_scope;
};

TEST_F(RegistryKeyTest, OpenFailsOnAMissingKeyUnlessAskedToCreateIt) {
    RegistryKey key;
    EXPECT_FALSE(key.Open(HKEY_CURRENT_USER, Path(L"missing").c_str(), KEY_READ));
    EXPECT_EQ(key.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(key.IsOpen());

    ASSERT_TRUE(
        key.Open(HKEY_CURRENT_USER, Path(L"missing\\deeper").c_str(), KEY_ALL_ACCESS, true));
    EXPECT_EQ(key.LastError(), ERROR_SUCCESS);
    EXPECT_TRUE(key.IsOpen());
    EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, Path(L"missing\\deeper")));
    EXPECT_FALSE(IsVolatile(HKEY_CURRENT_USER, Path(L"missing\\deeper")));
}

TEST_F(RegistryKeyTest, OpenCreatingPassesTheVolatileOptionOn) {
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path(L"volatile").c_str(), KEY_ALL_ACCESS, true,
                         REG_OPTION_VOLATILE));
    EXPECT_TRUE(IsVolatile(HKEY_CURRENT_USER, Path(L"volatile")));
}

TEST_F(RegistryKeyTest, OpeningAgainReleasesTheKeyHeldBefore) {
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path().c_str(), KEY_ALL_ACCESS | KEY_WOW64_32KEY));
    EXPECT_EQ(key.View(), static_cast<REGSAM>(KEY_WOW64_32KEY));
    EXPECT_FALSE(key.Open(HKEY_CURRENT_USER, Path(L"missing").c_str(), KEY_READ));
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.View(), 0u);
}

TEST_F(RegistryKeyTest, CreateWithoutASubkeyIsAnInvalidParameter) {
    RegistryKey key;
    EXPECT_FALSE(key.Create(HKEY_CURRENT_USER, nullptr, KEY_ALL_ACCESS, 0));
    EXPECT_EQ(key.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(key.IsOpen());
}

TEST_F(RegistryKeyTest, CloseForgetsTheHandleAndTheView) {
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path().c_str(), KEY_READ | KEY_WOW64_64KEY));
    EXPECT_EQ(key.View(), static_cast<REGSAM>(KEY_WOW64_64KEY));
    EXPECT_TRUE(key.Close());
    EXPECT_EQ(key.LastError(), ERROR_SUCCESS);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.View(), 0u);

    DWORD value = 0;
    std::wstring text;
    wchar_t name[16];
    EXPECT_FALSE(key.QueryDWORD(L"x", value));
    EXPECT_EQ(key.LastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(key.SetString(L"x", L"y"));
    EXPECT_EQ(key.LastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key.EnumerateSubKey(0, name, 16), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(key.DeleteSubKey(L"x"));
    EXPECT_EQ(key.LastError(), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryKeyTest, VolatileCreateReplacesANonVolatileKeyOfThatName) {
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"target\\child\\grandchild"), 0), ERROR_SUCCESS);
    const DWORD one = 1;
    ASSERT_EQ(RawSetValue(HKEY_CURRENT_USER, Path(L"target"), L"old", REG_DWORD, &one, 4),
              ERROR_SUCCESS);

    RegistryKey key;
    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, Path(L"target").c_str(), KEY_ALL_ACCESS,
                           REG_OPTION_VOLATILE));
    EXPECT_TRUE(key.Close());

    EXPECT_TRUE(IsVolatile(HKEY_CURRENT_USER, Path(L"target")));
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, Path(L"target\\__volatile_test")));
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, Path(L"target\\child")));
    RegistryKey reader;
    ASSERT_TRUE(reader.Open(HKEY_CURRENT_USER, Path(L"target").c_str(), KEY_READ));
    DWORD value = 0;
    EXPECT_FALSE(reader.QueryDWORD(L"old", value));
    EXPECT_EQ(reader.LastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeyTest, VolatileCreateOpensAVolatileKeyUnchanged) {
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"target"), REG_OPTION_VOLATILE), ERROR_SUCCESS);
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"target\\child"), REG_OPTION_VOLATILE),
              ERROR_SUCCESS);
    const DWORD seven = 7;
    ASSERT_EQ(RawSetValue(HKEY_CURRENT_USER, Path(L"target"), L"kept", REG_DWORD, &seven, 4),
              ERROR_SUCCESS);

    RegistryKey key;
    ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, Path(L"target").c_str(), KEY_ALL_ACCESS,
                           REG_OPTION_VOLATILE));
    DWORD value = 0;
    EXPECT_TRUE(key.QueryDWORD(L"kept", value));
    EXPECT_EQ(value, 7u);
    EXPECT_TRUE(key.Close());
    EXPECT_TRUE(IsVolatile(HKEY_CURRENT_USER, Path(L"target")));
    EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, Path(L"target\\child")));
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, Path(L"target\\__volatile_test")));
}

TEST_F(RegistryKeyTest, VolatileCreateMakesAMissingKeyVolatile) {
    RegistryKey key;
    ASSERT_TRUE(
        key.Create(HKEY_CURRENT_USER, Path(L"fresh").c_str(), KEY_ALL_ACCESS, REG_OPTION_VOLATILE));
    EXPECT_TRUE(key.Close());
    EXPECT_TRUE(IsVolatile(HKEY_CURRENT_USER, Path(L"fresh")));
}

TEST_F(RegistryKeyTest, VolatileCreateBeneathAVolatileKeyWorks) {
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"outer"), REG_OPTION_VOLATILE), ERROR_SUCCESS);
    RegistryKey key;
    EXPECT_TRUE(key.Create(HKEY_CURRENT_USER, Path(L"outer\\inner").c_str(), KEY_ALL_ACCESS,
                           REG_OPTION_VOLATILE));
    EXPECT_FALSE(key.Create(HKEY_CURRENT_USER, Path(L"outer\\plain").c_str(), KEY_ALL_ACCESS, 0));
    EXPECT_EQ(key.LastError(), ERROR_CHILD_MUST_BE_VOLATILE);
}

// Before Windows 6.0 a volatile create is a plain RegCreateKeyExW, which
// leaves an existing key as it is; from 6.0 on the key is replaced.
TEST_F(RegistryKeyTest, OnlyFromWindows60OnIsAVolatileCreateGuaranteed) {
    const struct {
        DWORD major, minor;
        bool replaced;
    } rows[] = {{5, 1, false}, {5, 2, false}, {6, 0, true}, {10, 0, true}};
    for (const auto& row : rows) {
        const std::wstring name = L"v" + std::to_wstring(row.major) + std::to_wstring(row.minor);
        SCOPED_TRACE(qvdtest::Narrow(name));
        ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(name + L"\\child"), 0), ERROR_SUCCESS);
        const qvdtest::ScopedOsVersion version(row.major, row.minor);
        RegistryKey key;
        ASSERT_TRUE(
            key.Create(HKEY_CURRENT_USER, Path(name).c_str(), KEY_ALL_ACCESS, REG_OPTION_VOLATILE));
        EXPECT_TRUE(key.Close());
        EXPECT_EQ(IsVolatile(HKEY_CURRENT_USER, Path(name)), row.replaced);
        EXPECT_EQ(RawExists(HKEY_CURRENT_USER, Path(name + L"\\child")), !row.replaced);
        EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, Path(name + L"\\__volatile_test")));
    }
}

// Windows XP (5.1) deletes through the shell's helpers, with the same results.
TEST_F(RegistryKeyTest, OnWindowsXpTheDeletionsKeepTheirMeaning) {
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"tree\\a\\b"), 0), ERROR_SUCCESS);
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"parent\\child"), 0), ERROR_SUCCESS);
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"empty"), 0), ERROR_SUCCESS);
    const qvdtest::ScopedOsVersion xp(5, 1);
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path().c_str(), KEY_ALL_ACCESS));
    EXPECT_TRUE(key.DeleteSubKey(L"tree"));
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, Path(L"tree")));
    EXPECT_FALSE(key.DeleteEmptySubKey(L"parent"));
    EXPECT_EQ(key.LastError(), ERROR_KEY_HAS_CHILDREN);
    EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, Path(L"parent\\child")));
    EXPECT_TRUE(key.DeleteEmptySubKey(L"empty"));
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, Path(L"empty")));
}

struct RawValue {
    const char* label;
    DWORD type;
    std::vector<BYTE> bytes;
};

std::vector<BYTE> Utf16Bytes(const std::wstring& text) {
    const auto* p = reinterpret_cast<const BYTE*>(text.data());
    return std::vector<BYTE>(p, p + text.size() * sizeof(wchar_t));
}

TEST_F(RegistryKeyTest, QueryDwordTakesOnlyAFourByteDword) {
    struct Case {
        RawValue value;
        LONG error;
        DWORD expected;
    };
    const std::vector<Case> cases = {
        {{"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}}, ERROR_SUCCESS, 0x12345678},
        {{"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}}, ERROR_INVALID_DATA, 0},
        {{"short dword", REG_DWORD, {1, 2}}, ERROR_INVALID_DATA, 0},
        {{"binary of four", REG_BINARY, {1, 0, 0, 0}}, ERROR_INVALID_DATA, 0},
        {{"string", REG_SZ, Utf16Bytes(std::wstring(L"1", 2))}, ERROR_INVALID_DATA, 0},
        {{"big endian", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}}, ERROR_INVALID_DATA, 0},
    };
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path().c_str(), KEY_ALL_ACCESS));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.label);
        ASSERT_EQ(RawSetValue(HKEY_CURRENT_USER, Path(), L"v", c.value.type, c.value.bytes.data(),
                              static_cast<DWORD>(c.value.bytes.size())),
                  ERROR_SUCCESS);
        DWORD value = 0xCCCCCCCC;
        EXPECT_EQ(key.QueryDWORD(L"v", value), c.error == ERROR_SUCCESS);
        EXPECT_EQ(key.LastError(), c.error);
        EXPECT_EQ(value, c.error == ERROR_SUCCESS ? c.expected : 0xCCCCCCCC);
    }
    DWORD value = 0;
    EXPECT_FALSE(key.QueryDWORD(L"absent", value));
    EXPECT_EQ(key.LastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeyTest, QueryStringTakesEvenSizedStringsUpToTheFirstNull) {
    struct Case {
        RawValue value;
        LONG error;
        std::wstring expected;
    };
    const std::wstring terminated(L"text\0", 5);
    const std::vector<Case> cases = {
        {{"terminated", REG_SZ, Utf16Bytes(terminated)}, ERROR_SUCCESS, L"text"},
        {{"unterminated", REG_SZ, Utf16Bytes(L"abc")}, ERROR_SUCCESS, L"abc"},
        {{"embedded null", REG_SZ, Utf16Bytes(std::wstring(L"ab\0cd\0", 6))}, ERROR_SUCCESS, L"ab"},
        {{"empty", REG_SZ, {}}, ERROR_SUCCESS, L""},
        {{"expand left alone", REG_EXPAND_SZ, Utf16Bytes(std::wstring(L"%TEMP%\\x\0", 9))},
         ERROR_SUCCESS,
         L"%TEMP%\\x"},
        {{"odd byte count", REG_SZ, {'a', 0, 'b', 0, 'c'}}, ERROR_INVALID_DATA, L""},
        {{"multi string", REG_MULTI_SZ, Utf16Bytes(std::wstring(L"a\0b\0\0", 5))},
         ERROR_INVALID_DATA,
         L""},
        {{"dword", REG_DWORD, {1, 0, 0, 0}}, ERROR_INVALID_DATA, L""},
        {{"binary", REG_BINARY, {'a', 0}}, ERROR_INVALID_DATA, L""},
    };
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path().c_str(), KEY_ALL_ACCESS));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.label);
        ASSERT_EQ(RawSetValue(HKEY_CURRENT_USER, Path(), L"v", c.value.type, c.value.bytes.data(),
                              static_cast<DWORD>(c.value.bytes.size())),
                  ERROR_SUCCESS);
        std::wstring text = L"unchanged";
        EXPECT_EQ(key.QueryString(L"v", text), c.error == ERROR_SUCCESS);
        EXPECT_EQ(key.LastError(), c.error);
        EXPECT_EQ(text, c.error == ERROR_SUCCESS ? c.expected : L"unchanged");
    }
    std::wstring text;
    EXPECT_FALSE(key.QueryString(L"absent", text));
    EXPECT_EQ(key.LastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeyTest, SettersWriteTheirTypeAndSize) {
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path().c_str(), KEY_ALL_ACCESS));
    ASSERT_TRUE(key.SetString(L"s", L"hello"));
    ASSERT_TRUE(key.SetString(L"empty", L""));
    ASSERT_TRUE(key.SetDWORD(L"d", 0xDEADBEEF));
    ASSERT_TRUE(key.SetString(nullptr, L"default"));

    struct Expect {
        const wchar_t* name;
        DWORD type;
        DWORD size;
    };
    for (const Expect& e : {Expect{L"s", REG_SZ, 12}, Expect{L"empty", REG_SZ, 2},
                            Expect{L"d", REG_DWORD, 4}, Expect{L"", REG_SZ, 16}}) {
        SCOPED_TRACE(qvdtest::Narrow(e.name));
        DWORD type = 0;
        DWORD size = 0;
        ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, Path().c_str(), e.name, RRF_RT_ANY | RRF_NOEXPAND,
                               &type, nullptr, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, e.type);
        EXPECT_EQ(size, e.size);
    }
    std::wstring text;
    DWORD value = 0;
    EXPECT_TRUE(key.QueryString(L"s", text));
    EXPECT_EQ(text, L"hello");
    EXPECT_TRUE(key.QueryDWORD(L"d", value));
    EXPECT_EQ(value, 0xDEADBEEFu);
}

TEST_F(RegistryKeyTest, WritingThroughAReadOnlyKeyIsRefused) {
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path().c_str(), KEY_READ));
    EXPECT_FALSE(key.SetDWORD(L"d", 1));
    EXPECT_EQ(key.LastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(key.SetString(L"s", L"x"));
    EXPECT_EQ(key.LastError(), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryKeyTest, DeleteValueRemovesOnlyThatValue) {
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path().c_str(), KEY_ALL_ACCESS));
    ASSERT_TRUE(key.SetDWORD(L"gone", 1));
    ASSERT_TRUE(key.SetDWORD(L"stays", 2));
    EXPECT_TRUE(key.DeleteValue(L"gone"));
    EXPECT_FALSE(key.DeleteValue(L"gone"));
    EXPECT_EQ(key.LastError(), ERROR_FILE_NOT_FOUND);
    DWORD value = 0;
    EXPECT_TRUE(key.QueryDWORD(L"stays", value));
}

TEST_F(RegistryKeyTest, DeleteSubKeyRemovesTheWholeTree) {
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"tree\\a\\b\\c"), 0), ERROR_SUCCESS);
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"tree\\d"), 0), ERROR_SUCCESS);
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"sibling"), 0), ERROR_SUCCESS);
    const DWORD one = 1;
    ASSERT_EQ(RawSetValue(HKEY_CURRENT_USER, Path(L"tree\\a\\b"), L"v", REG_DWORD, &one, 4),
              ERROR_SUCCESS);

    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path().c_str(), KEY_ALL_ACCESS));
    EXPECT_TRUE(key.DeleteSubKey(L"tree"));
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, Path(L"tree")));
    EXPECT_TRUE(RawExists(HKEY_CURRENT_USER, Path(L"sibling")));
    EXPECT_FALSE(key.DeleteSubKey(L"tree"));
    EXPECT_EQ(key.LastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeyTest, DeleteSubKeyWithoutANameDeletesTheKeyItself) {
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"self\\child"), 0), ERROR_SUCCESS);
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path(L"self").c_str(), KEY_ALL_ACCESS));
    EXPECT_TRUE(key.DeleteSubKey(nullptr));
    EXPECT_FALSE(RawExists(HKEY_CURRENT_USER, Path(L"self")));
}

TEST_F(RegistryKeyTest, DeleteEmptySubKeyKeepsAKeyWithContent) {
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"with-subkey\\child"), 0), ERROR_SUCCESS);
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"with-value"), 0), ERROR_SUCCESS);
    ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(L"empty"), 0), ERROR_SUCCESS);
    const DWORD one = 1;
    ASSERT_EQ(RawSetValue(HKEY_CURRENT_USER, Path(L"with-value"), L"v", REG_DWORD, &one, 4),
              ERROR_SUCCESS);

    struct Case {
        const wchar_t* name;
        LONG error;
    };
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path().c_str(), KEY_ALL_ACCESS));
    for (const Case& c :
         {Case{L"with-subkey", ERROR_KEY_HAS_CHILDREN}, Case{L"with-value", ERROR_KEY_HAS_CHILDREN},
          Case{L"empty", ERROR_SUCCESS}, Case{L"missing", ERROR_FILE_NOT_FOUND}}) {
        SCOPED_TRACE(qvdtest::Narrow(c.name));
        EXPECT_EQ(key.DeleteEmptySubKey(c.name), c.error == ERROR_SUCCESS);
        EXPECT_EQ(key.LastError(), c.error);
        EXPECT_EQ(RawExists(HKEY_CURRENT_USER, Path(c.name)), c.error == ERROR_KEY_HAS_CHILDREN);
    }
}

TEST_F(RegistryKeyTest, EnumerationListsEveryNameAndReportsShortBuffers) {
    for (const wchar_t* name : {L"alpha", L"beta", L"gamma"})
        ASSERT_EQ(RawCreate(HKEY_CURRENT_USER, Path(name), 0), ERROR_SUCCESS);
    RegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path().c_str(), KEY_ALL_ACCESS));
    ASSERT_TRUE(key.SetDWORD(L"one", 1));
    ASSERT_TRUE(key.SetDWORD(L"two", 2));

    auto collect = [&](auto enumerate) {
        std::vector<std::wstring> names;
        wchar_t name[64];
        LONG rc;
        for (DWORD i = 0; (rc = enumerate(i, name, 64)) == ERROR_SUCCESS; ++i)
            names.push_back(name);
        EXPECT_EQ(rc, ERROR_NO_MORE_ITEMS);
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(collect([&](DWORD i, wchar_t* n, DWORD c) { return key.EnumerateSubKey(i, n, c); }),
              (std::vector<std::wstring>{L"alpha", L"beta", L"gamma"}));
    EXPECT_EQ(collect([&](DWORD i, wchar_t* n, DWORD c) { return key.EnumerateValue(i, n, c); }),
              (std::vector<std::wstring>{L"one", L"two"}));

    wchar_t tiny[3];
    EXPECT_EQ(key.EnumerateSubKey(0, tiny, 3), ERROR_MORE_DATA);
    EXPECT_EQ(key.LastError(), ERROR_MORE_DATA);
    EXPECT_EQ(key.EnumerateValue(0, tiny, 3), ERROR_MORE_DATA);
}

// Failures reach the trace channel at their level: an absent key only at
// verbose level, data of the wrong type as an error.
TEST_F(RegistryKeyTest, FailuresAreTracedAtTheirLevel) {
    const std::wstring missing = Path(L"missing");
    qvdtest::TraceRecorder recorder;
    RegistryKey key;
    {
        qvdtest::ScopedTraceSession session(static_cast<uint8_t>(pxLib::TraceLevel::Error), 1);
        EXPECT_FALSE(key.Open(HKEY_CURRENT_USER, missing.c_str(), KEY_READ));
        EXPECT_TRUE(recorder.events.empty());
    }
    {
        qvdtest::ScopedTraceSession session(static_cast<uint8_t>(pxLib::TraceLevel::Verbose), 1);
        EXPECT_FALSE(key.Open(HKEY_CURRENT_USER, missing.c_str(), KEY_READ));
        ASSERT_EQ(recorder.events.size(), 1u);
        ASSERT_EQ(recorder.events[0].args.size(), 2u);
        EXPECT_EQ(recorder.events[0].args[0],
                  qvdtest::Utf16Bytes(reinterpret_cast<const char16_t*>(missing.c_str())));
        EXPECT_EQ(recorder.events[0].args[1], std::string("\x02\0\0\0", 4));
    }
    recorder.events.clear();
    const uint64_t eight = 8;
    ASSERT_EQ(RawSetValue(HKEY_CURRENT_USER, Path(), L"q", REG_QWORD, &eight, 8), ERROR_SUCCESS);
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, Path().c_str(), KEY_READ));
    {
        qvdtest::ScopedTraceSession session(static_cast<uint8_t>(pxLib::TraceLevel::Error), 1);
        DWORD value = 0;
        EXPECT_FALSE(key.QueryDWORD(L"q", value));
        ASSERT_EQ(recorder.events.size(), 1u);
        ASSERT_EQ(recorder.events[0].args.size(), 3u);
        EXPECT_EQ(recorder.events[0].args[0], qvdtest::Utf16Bytes(u"q"));
        EXPECT_EQ(recorder.events[0].args[1], std::string("\x0B\0\0\0", 4));  // REG_QWORD
    }
}

// The registry views: HKLM\Software is split on 64-bit Windows, and Wine
// keeps the 32-bit half under WOW6432Node.
class RegistryViewTest : public ::testing::Test {
protected:
    RegistryViewTest()
        : m_name(UniqueName(L"RegistryView")),
          m_scope64(HKEY_LOCAL_MACHINE, L"Software\\QVDTest\\" + m_name, KEY_WOW64_64KEY),
          m_scope32(HKEY_LOCAL_MACHINE, L"Software\\QVDTest\\" + m_name, KEY_WOW64_32KEY) {}
    std::wstring Path(const std::wstring& sub = {}) const {
        return L"Software\\QVDTest\\" + m_name + (sub.empty() ? L"" : L"\\" + sub);
    }
    std::wstring Wow64Path(const std::wstring& sub) const {
        return L"Software\\WOW6432Node\\QVDTest\\" + m_name + L"\\" + sub;
    }

    std::wstring m_name;
    qvdtest::ScopedRegistryKey m_scope64;
    qvdtest::ScopedRegistryKey m_scope32;
};

TEST_F(RegistryViewTest, The32BitViewLandsInWow6432Node) {
    RegistryKey key;
    ASSERT_TRUE(
        key.Create(HKEY_LOCAL_MACHINE, Path(L"made").c_str(), KEY_ALL_ACCESS | KEY_WOW64_32KEY, 0));
    EXPECT_EQ(key.View(), static_cast<REGSAM>(KEY_WOW64_32KEY));
    EXPECT_TRUE(RawExists(HKEY_LOCAL_MACHINE, Wow64Path(L"made"), KEY_WOW64_64KEY));
    EXPECT_FALSE(RawExists(HKEY_LOCAL_MACHINE, Path(L"made"), KEY_WOW64_64KEY));
}

// Beneath a key that is already redirected the view changes nothing, so the
// subkey's path starts above Software, where the views part.
TEST_F(RegistryViewTest, DeleteSubKeyStaysInTheViewTheKeyWasOpenedIn) {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        SCOPED_TRACE(view);
        for (REGSAM made : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
            ASSERT_EQ(RawCreate(HKEY_LOCAL_MACHINE, Path(L"tree\\a\\b"), 0, made), ERROR_SUCCESS);
        const REGSAM other = view == KEY_WOW64_32KEY ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

        RegistryKey machine;
        ASSERT_TRUE(machine.Open(HKEY_LOCAL_MACHINE, L"", KEY_ALL_ACCESS | view));
        EXPECT_TRUE(machine.DeleteSubKey(Path(L"tree").c_str()));
        EXPECT_FALSE(RawExists(HKEY_LOCAL_MACHINE, Path(L"tree"), view));
        EXPECT_TRUE(RawExists(HKEY_LOCAL_MACHINE, Path(L"tree\\a\\b"), other));
        EXPECT_FALSE(machine.DeleteSubKey(Path(L"tree").c_str()));  // gone in this view
        EXPECT_EQ(machine.LastError(), ERROR_FILE_NOT_FOUND);

        ASSERT_TRUE(machine.Open(HKEY_LOCAL_MACHINE, L"", KEY_ALL_ACCESS | other));
        ASSERT_TRUE(machine.DeleteSubKey(Path(L"tree").c_str()));
    }
}

TEST_F(RegistryViewTest, VolatileReplacementDeletesOnlyInItsOwnView) {
    ASSERT_EQ(RawCreate(HKEY_LOCAL_MACHINE, Path(L"marker\\old"), 0, KEY_WOW64_32KEY),
              ERROR_SUCCESS);
    ASSERT_EQ(RawCreate(HKEY_LOCAL_MACHINE, Path(L"marker\\other-view"), 0, KEY_WOW64_64KEY),
              ERROR_SUCCESS);

    RegistryKey key;
    ASSERT_TRUE(key.Create(HKEY_LOCAL_MACHINE, Path(L"marker").c_str(),
                           KEY_ALL_ACCESS | KEY_WOW64_32KEY, REG_OPTION_VOLATILE));
    EXPECT_TRUE(key.Close());
    EXPECT_TRUE(IsVolatile(HKEY_LOCAL_MACHINE, Path(L"marker"), KEY_WOW64_32KEY));
    EXPECT_FALSE(RawExists(HKEY_LOCAL_MACHINE, Path(L"marker\\old"), KEY_WOW64_32KEY));
    EXPECT_TRUE(RawExists(HKEY_LOCAL_MACHINE, Path(L"marker\\other-view"), KEY_WOW64_64KEY));
    EXPECT_FALSE(IsVolatile(HKEY_LOCAL_MACHINE, Path(L"marker"), KEY_WOW64_64KEY));
}

}  // namespace
