#include "JobOutcome.h"

#include <gtest/gtest.h>

namespace {

using namespace qvd::job;
using qvdtest::Outcome;

// "none", the entry's destination_file as "=<path>", or the error raised.
std::string FindInstaller(const std::string& jobText) {
    const Json::Value job = qvdtest::JobFromUtf8(jobText);
    return Outcome([&] {
        Json::Value entry;
        if (!FindInstallerFileEntry(job, entry)) return std::string("none");
        return "=" + qvdtest::Text(JobReader{job}.InstallerPath(entry));
    });
}

struct EntryCase {
    const char* label;
    const char* job;
    std::string expected;
};

TEST(InstallerEntry, TheFirstJobInstallerInContainerOrderWins) {
    const EntryCase cases[] = {
        {"text that is not JSON", "not json", "none"},
        {"empty text", "", "none"},
        {"no file_array", R"({"product_data": {}})", "none"},
        {"file_array null", R"({"file_array": null})", "none"},
        {"file_array a string", R"({"file_array": "job_installer"})", "none"},
        {"file_array a number", R"({"file_array": 7})", "none"},
        {"empty array", R"({"file_array": []})", "none"},
        {"two installers", R"({"file_array": [
            {"type": "job_installer", "destination_file": "C:\\first.exe"},
            {"type": "job_installer", "destination_file": "C:\\second.exe"}]})",
         "=C:\\first.exe"},
        {"other entries before it", R"({"file_array": [
            {"destination_file": "C:\\untyped.dat"},
            null,
            {"type": "job_data", "destination_file": "C:\\data.bin"},
            {"type": "job_installer", "destination_file": "C:\\setup.exe"}]})",
         "=C:\\setup.exe"},
        {"object walked in key order", R"({"file_array": {
            "zeta": {"type": "job_installer", "destination_file": "C:\\zeta.exe"},
            "alpha": {"type": "job_installer", "destination_file": "C:\\alpha.exe"}}})",
         "=C:\\alpha.exe"},
        {"type in capitals",
         R"({"file_array": [{"type": "JOB_INSTALLER", "destination_file": "x"}]})", "none"},
        {"type with a trailing blank",
         R"({"file_array": [{"type": "job_installer ", "destination_file": "x"}]})", "none"},
        {"type a number", R"({"file_array": [{"type": 13, "destination_file": "x"}]})", "none"},
        {"no destination_file", R"({"file_array": [{"type": "job_installer"}]})", "="},
        {"destination_file a number",
         R"({"file_array": [{"type": "job_installer", "destination_file": 42}]})", "=42"},
        {"type an array", R"({"file_array": [{"type": ["job_installer"]}]})", qvdtest::kNotText},
        {"destination_file an object",
         R"({"file_array": [{"type": "job_installer", "destination_file": {}}]})",
         qvdtest::kNotText},
        {"an entry that is a number", R"({"file_array": [5, {"type": "job_installer"}]})",
         qvdtest::kNotAnObject},
        {"root an array", R"([{"type": "job_installer", "destination_file": "x"}])",
         qvdtest::kNotAnObject},
        {"root a string", R"("file_array")", qvdtest::kNotAnObject},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(FindInstaller(c.job), c.expected);
    }
}

TEST(InstallerEntry, IsACopyThatOutlivesTheDocument) {
    Json::Value entry;
    {
        const Json::Value job = ParseJobText(
            u"{\"file_array\": [{\"type\": \"job_installer\", \"destination_file\": "
            u"\"C:\\\\\u00dcbung\\\\setup \U0001F600.exe\", \"size\": 12}]}");
        ASSERT_TRUE(FindInstallerFileEntry(job, entry));
    }
    const Json::Value none;
    EXPECT_EQ(JobReader{none}.InstallerPath(entry), u"C:\\\u00dcbung\\setup \U0001F600.exe");
    EXPECT_EQ(entry["size"].asInt(), 12);
}

}  // namespace
