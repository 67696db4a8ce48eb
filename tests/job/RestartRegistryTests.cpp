// The names and values of the restart state under Wine: the per-job mark
// key's name, and the program path taken from a RunOnce entry.
#include "common/TestSupport.h"
#include "job/InstStubPath.h"
#include "job/RebootMark.h"
#include "JobOutcome.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

TEST(RebootMarkKeyName, TheJobIdFollowsThePrefixWithoutASeparator) {
    const struct {
        const char* job;
        const wchar_t* name;
    } rows[] = {
        {R"({"job_id": "job-7"})", L"Software\\Halvex\\QVDPluginjob-7"},
        {R"({"job_id": 42})", L"Software\\Halvex\\QVDPlugin42"},
        {R"({})", L"Software\\Halvex\\QVDPlugin"},
    };
    for (const auto& row : rows) {
        const Json::Value job = JobFromUtf8(row.job);
        EXPECT_EQ(qvd::job::RebootMarkKeyName(qvd::job::JobReader{job}), row.name) << row.job;
    }
}

// The entry is set under a value name of the test's own and removed again,
// so that no later Wine start runs it.
class RunOnceCommandPath : public ::testing::Test {
protected:
    ~RunOnceCommandPath() override {
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRunOnceKey, m_name.c_str());
    }
    bool Set(DWORD type, const std::wstring& line) const {
        return RegSetKeyValueW(HKEY_LOCAL_MACHINE, kRunOnceKey, m_name.c_str(), type, line.c_str(),
                               static_cast<DWORD>((line.size() + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }
    bool Read(std::wstring& path) const {
        return qvd::job::ReadRunOnceCommandPath(std::u16string(m_name.begin(), m_name.end()), path);
    }

    static constexpr const wchar_t* kRunOnceKey =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    const std::wstring m_name = L"qvdtest-" + NewGuidText();
};

TEST_F(RunOnceCommandPath, TheFirstWordIsTheProgramPath) {
    const struct {
        const wchar_t* line;
        DWORD type;
        const wchar_t* path;  // null: no program path
    } rows[] = {
        {L"\"C:\\Program Files\\Stub Dir\\inst stub.exe\" /resume -q", REG_SZ,
         L"C:\\Program Files\\Stub Dir\\inst stub.exe"},
        {L"  C:\\Stub\\stub.exe   /resume", REG_SZ, L"C:\\Stub\\stub.exe"},
        {L"%ProgramFiles%\\stub.exe /resume", REG_EXPAND_SZ, L"%ProgramFiles%\\stub.exe"},
        {L"\"C:\\Program Files\\stub.exe /resume", REG_SZ, nullptr},  // the quote never closes
        {L"/resume C:\\stub.exe", REG_SZ, nullptr},                   // no program first
        {L"   ", REG_SZ, nullptr},
        {L"", REG_SZ, nullptr},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(Set(row.type, row.line));
        std::wstring path = L"untouched";
        const bool read = Read(path);
        EXPECT_EQ(read, row.path != nullptr) << Narrow(row.line);
        EXPECT_EQ(path, row.path ? row.path : L"untouched") << Narrow(row.line);
    }
}

TEST_F(RunOnceCommandPath, AMissingOrNonTextEntryHasNoPath) {
    std::wstring path;
    EXPECT_FALSE(Read(path));
    const DWORD number = 1;
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kRunOnceKey, m_name.c_str(), REG_DWORD, &number,
                              sizeof(number)),
              ERROR_SUCCESS);
    EXPECT_FALSE(Read(path));
    EXPECT_TRUE(path.empty());
}

}  // namespace
}  // namespace qvdtest
