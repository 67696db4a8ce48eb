#include "JobOutcome.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace qvd::job;
using qvdtest::Outcome;
using qvdtest::Present;

using Read = std::function<std::string(const JobReader&)>;

struct ReaderCase {
    const char* job;
    std::string expected;
};

void ExpectReads(const Read& read, std::initializer_list<ReaderCase> cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.job);
        const Json::Value job = qvdtest::JobFromUtf8(c.job);
        EXPECT_EQ(Outcome([&] { return read(JobReader{job}); }), c.expected);
    }
}

std::string Bool(bool b) {
    return b ? "true" : "false";
}

const Read kSilo = [](const JobReader& r) {
    std::u16string v;
    return Present(r.Silo(v), v);
};
const Read kForce = [](const JobReader& r) {
    JsonKind kind = JsonKind::Null;
    bool forced = false;
    if (!r.ForceOverinstall(kind, forced)) return std::string("absent");
    return "kind " + std::to_string(static_cast<int>(kind)) + (forced ? " forced" : " not forced");
};
const Read kCommandLine = [](const JobReader& r) {
    std::u16string v;
    return Present(r.CommandLine(v), v);
};
const Read kContextIsSystem = [](const JobReader& r) { return Bool(r.ContextIsSystem()); };
const Read kAdmin = [](const JobReader& r) { return Bool(r.Admin()); };
const Read kVersions = [](const JobReader& r) {
    return qvdtest::Text(r.ProductVersion() + u"|" + r.ProductVersionKey() + u"|" + r.RunKey());
};
const Read kHas = [](const JobReader& r) {
    return Bool(r.HasProductData()) + " " + Bool(r.HasRunKey()) + " " + Bool(r.HasInstallCache());
};
const Read kInstallCache = [](const JobReader& r) {
    std::u16string v;
    return Present(r.InstallCache(v), v);
};
const Read kToken = [](const JobReader& r) {
    std::u16string v;
    return Present(r.Token(v), v);
};
const Read kMachineName = [](const JobReader& r) {
    std::u16string v;
    return Present(r.MachineName(v), v);
};
const Read kPartnerIds = [](const JobReader& r) {
    std::u16string id, unit;
    const bool present = r.PartnerIds(id, unit);
    return Present(present, id + u"," + unit);
};
const Read kPayload = [](const JobReader& r) {
    std::u16string v;
    return Present(r.PayloadDestination(v), v);
};
const Read kJobId = [](const JobReader& r) {
    std::u16string v;
    return Present(r.JobId(v), v);
};

TEST(JobReader, SiloIsAStringReadThroughItsPointer) {
    ExpectReads(kSilo,
                {
                    {R"({"product_data": {"silo": "{0D6A6E38-5C3B-4F4E-9B8A-1E0F7C2D4B11}"}})",
                     "={0D6A6E38-5C3B-4F4E-9B8A-1E0F7C2D4B11}"},
                    {R"({})", "absent"},
                    {R"({"product_data": {}})", "absent"},
                    {R"({"product_data": null})", "absent"},
                    {R"({"product_data": {"silo": "ab\u0000cd"}})", "=ab"},
                    {R"({"product_data": {"silo": 5}})", qvdtest::kNotString},
                    {R"({"product_data": {"silo": null}})", qvdtest::kNotString},
                    {R"({"product_data": "silo"})", qvdtest::kNotAnObject},
                });
}

TEST(JobReader, ForceOverinstallCountsOnlyANonZeroSignedInteger) {
    ExpectReads(kForce,
                {
                    {R"({"product_data": {"force_overinstall": 1}})", "kind 1 forced"},
                    {R"({"product_data": {"force_overinstall": -1}})", "kind 1 forced"},
                    {R"({"product_data": {"force_overinstall": 4294967296}})", "kind 1 forced"},
                    {R"({"product_data": {"force_overinstall": 0}})", "kind 1 not forced"},
                    {R"({"product_data": {"force_overinstall": true}})", "kind 5 not forced"},
                    {R"({"product_data": {"force_overinstall": "1"}})", "kind 4 not forced"},
                    {R"({"product_data": {"force_overinstall": 1.0}})", "kind 3 not forced"},
                    {R"({"product_data": {"force_overinstall": 18446744073709551615}})",
                     "kind 2 not forced"},
                    {R"({"product_data": {"force_overinstall": null}})", "kind 0 not forced"},
                    {R"({"product_data": {}})", "absent"},
                    {R"({})", "absent"},
                    {R"({"product_data": [1]})", qvdtest::kNotAnObject},
                });
}

TEST(JobReader, CommandLineIsATextCopy) {
    ExpectReads(kCommandLine,
                {
                    {R"({"product_data": {"command_line": "/s /v\"a b\""}})", "=/s /v\"a b\""},
                    {R"({"product_data": {"command_line": 12}})", "=12"},
                    {R"({"product_data": {"command_line": true}})", "=true"},
                    {R"({"product_data": {"command_line": null}})", "="},
                    {R"({"product_data": {}})", "absent"},
                    {R"({})", "absent"},
                    {R"({"product_data": {"command_line": ["/s"]}})", qvdtest::kNotText},
                });
}

TEST(JobReader, ContextSelectsSystemOnlyForTheExactWord) {
    ExpectReads(kContextIsSystem, {
                                      {R"({"product_data": {"context": "system"}})", "true"},
                                      {R"({"product_data": {"context": "System"}})", "false"},
                                      {R"({"product_data": {"context": "system "}})", "false"},
                                      {R"({"product_data": {"context": "user"}})", "false"},
                                      {R"({"product_data": {}})", "false"},
                                      {R"({})", "false"},
                                      {R"({"product_data": {"context": 1}})", qvdtest::kNotString},
                                      {R"({"product_data": 1})", qvdtest::kNotAnObject},
                                  });
}

TEST(JobReader, AdminIsReadAsBoolean) {
    ExpectReads(kAdmin, {
                            {R"({"product_data": {"admin": true}})", "true"},
                            {R"({"product_data": {"admin": false}})", "false"},
                            {R"({"product_data": {"admin": 1}})", "true"},
                            {R"({"product_data": {"admin": 0}})", "false"},
                            {R"({"product_data": {"admin": null}})", "false"},
                            {R"({"product_data": {}})", "false"},
                            {R"({})", "false"},
                            {R"({"product_data": {"admin": "true"}})", qvdtest::kNotBool},
                            {R"({"product_data": {"admin": {}}})", qvdtest::kNotBool},
                        });
}

TEST(JobReader, VersionsAndRunKeyAreMemberReadsGivingEmptyTextWhenAbsent) {
    ExpectReads(
        kVersions,
        {
            {R"({"product_data": {"product_version": "1.2.3.4", "product_version_key": "Version",
             "run_key": "HalvexProduct"}})",
             "1.2.3.4|Version|HalvexProduct"},
            {R"({"product_data": {"product_version": 2}})", "2||"},
            {R"({"product_data": {}})", "||"},
            {R"({"product_data": null})", "||"},
            {R"({})", "||"},
            {R"({"product_data": {"run_key": {}}})", qvdtest::kNotText},
            {R"({"product_data": "1.0"})", qvdtest::kNotAnObject},
        });
}

TEST(JobReader, MemberTestsOnProductData) {
    ExpectReads(
        kHas, {
                  {R"({"product_data": {"run_key": "", "install_cache": ""}})", "true true true"},
                  {R"({"product_data": {"Run_Key": "", "installcache": ""}})", "true false false"},
                  {R"({"product_data": null})", "true false false"},
                  {R"({})", "false false false"},
                  {R"({"product_data": 0})", qvdtest::kNotAnObject},
              });
}

TEST(JobReader, InstallCacheIsTheUnexpandedString) {
    ExpectReads(kInstallCache,
                {
                    {R"({"product_data": {"install_cache": "%LOCALAPPDATA%\\Halvex\\Cache"}})",
                     "=%LOCALAPPDATA%\\Halvex\\Cache"},
                    {R"({"product_data": {}})", "absent"},
                    {R"({"product_data": {"install_cache": 3}})", qvdtest::kNotString},
                });
}

TEST(JobReader, EbeTokenWinsOverToken) {
    ExpectReads(kToken, {
                            {R"({"distribution": {"ebe_token": "E1", "token": "T1"}})", "=E1"},
                            {R"({"distribution": {"token": "T1"}})", "=T1"},
                            {R"({"distribution": {"token": 77}})", "=77"},
                            // Present wins, even when it reads as empty text.
                            {R"({"distribution": {"ebe_token": null, "token": "T1"}})", "="},
                            {R"({"distribution": {"Token": "T1"}})", "absent"},
                            {R"({"distribution": {}})", "absent"},
                            {R"({})", "absent"},
                            {R"({"distribution": {"ebe_token": ["E1"]}})", qvdtest::kNotText},
                            {R"({"distribution": "E1"})", qvdtest::kNotAnObject},
                        });
}

TEST(JobReader, MachineNameIsATextCopy) {
    ExpectReads(kMachineName, {
                                  {R"({"distribution": {"machinename": "PC1"}})", "=PC1"},
                                  {R"({"distribution": {}})", "absent"},
                                  {R"({})", "absent"},
                                  {R"({"distribution": {"machinename": {}}})", qvdtest::kNotText},
                              });
}

TEST(JobReader, PartnerIdsNeedBothAndReadAsUnsigned) {
    ExpectReads(
        kPartnerIds,
        {
            {R"({"distribution": {"PartnerID": 1, "PartnerUnitID": 2}})", "=1,2"},
            {R"({"distribution": {"PartnerID": 4294967295, "PartnerUnitID": 0}})", "=4294967295,0"},
            {R"({"distribution": {"PartnerID": true, "PartnerUnitID": 2.9}})", "=1,2"},
            {R"({"distribution": {"PartnerID": null, "PartnerUnitID": 3}})", "=0,3"},
            {R"({"distribution": {"PartnerID": 1}})", "absent"},
            {R"({"distribution": {"PartnerUnitID": 2}})", "absent"},
            {R"({"distribution": {"partnerid": 1, "partnerunitid": 2}})", "absent"},
            {R"({})", "absent"},
            {R"({"distribution": {"PartnerID": "1", "PartnerUnitID": 2}})", qvdtest::kNotUnsigned},
            {R"({"distribution": {"PartnerID": 1, "PartnerUnitID": -2}})",
             "LogicError: LargestInt out of UInt range"},
            {R"({"distribution": {"PartnerID": 4294967296, "PartnerUnitID": 2}})",
             "LogicError: LargestInt out of UInt range"},
            {R"({"distribution": {"PartnerID": 1e10, "PartnerUnitID": 2}})",
             "LogicError: double out of UInt range"},
            {R"({"distribution": []})", qvdtest::kNotAnObject},
        });
}

TEST(JobReader, PayloadDestinationIsAString) {
    ExpectReads(
        kPayload,
        {
            {R"({"environment": {"PAYLOAD_DESTINATION": "Payload\\1.2"}})", "=Payload\\1.2"},
            {R"({"environment": {}})", "absent"},
            {R"({})", "absent"},
            {R"({"environment": {"PAYLOAD_DESTINATION": false}})", qvdtest::kNotString},
            {R"({"environment": 5})", qvdtest::kNotAnObject},
        });
}

TEST(JobReader, JobIdIsATextCopyAtTheRoot) {
    ExpectReads(kJobId, {
                            {R"({"job_id": "job-42"})", "=job-42"},
                            {R"({"job_id": 42})", "=42"},
                            {R"({"product_data": {"job_id": "inner"}})", "absent"},
                            {R"({"job_id": {}})", qvdtest::kNotText},
                        });
}

// Every reader, for roots the reader can leave behind.
TEST(JobReader, ANullRootReadsAsAbsentAndAnyOtherNonObjectRaises) {
    const Read all[] = {kSilo,       kForce,   kCommandLine,  kContextIsSystem, kAdmin,
                        kVersions,   kHas,     kInstallCache, kToken,           kMachineName,
                        kPartnerIds, kPayload, kJobId};
    const std::string absentForNull[] = {
        "absent", "absent", "absent", "false",  "false",  "||",    "false false false",
        "absent", "absent", "absent", "absent", "absent", "absent"};
    static_assert(std::size(all) == std::size(absentForNull));
    for (size_t i = 0; i < std::size(all); ++i) {
        SCOPED_TRACE(i);
        for (const char* text : {"", "not json"}) {
            const Json::Value job = qvdtest::JobFromUtf8(text);
            EXPECT_EQ(Outcome([&] { return all[i](JobReader{job}); }), absentForNull[i]);
        }
        for (const char* text : {R"([{"product_data": {}}])", "5", R"("job")"}) {
            const Json::Value job = qvdtest::JobFromUtf8(text);
            EXPECT_EQ(Outcome([&] { return all[i](JobReader{job}); }), qvdtest::kNotAnObject);
        }
    }
}

}  // namespace
