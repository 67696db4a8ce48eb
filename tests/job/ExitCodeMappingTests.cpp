// The meaning of every installer exit code, on its own: each row of the table,
// with the follow-up installed check answering both ways.
#include "job/ExitCodeMapping.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

namespace {

using qvd::job::JobState;
using qvd::job::JobStatus;
using qvd::job::MapInstallerExitCode;
using qvd::job::NeedsInstalledCheck;
using qvd::job::RunOutcome;

constexpr unsigned kNoLine = 0;

struct Row {
    uint32_t exitCode;
    JobState whenInstalled;
    JobState whenNotInstalled;
    uint32_t errorCode;  // 0: no ReportError
    unsigned errorLine;
    std::optional<JobStatus> status;
    bool restartNeeded;
};

std::string Hex(uint32_t code) {
    char text[16];
    snprintf(text, sizeof(text), "0x%08X", code);
    return text;
}

TEST(ExitCodeMapping, EveryRowGivesItsStateReportsAndRestartMark) {
    const Row rows[] = {
        // The installer's own "declined": mapped before any installed check.
        {0x80047C10, JobState::InstallerDeclined, JobState::InstallerDeclined, 0x80047F24, 1092,
         JobStatus::Declined, false},
        // Success counts only when the product is found installed afterwards.
        {0x00000000, JobState::Installed, JobState::NotInstalled, 0, kNoLine, {}, false},
        // Cancelled by the user or otherwise not installed: state 6, nothing reported.
        {0x80070642, JobState::NotInstalled, JobState::NotInstalled, 0, kNoLine, {}, false},
        {0x80170642, JobState::NotInstalled, JobState::NotInstalled, 0, kNoLine, {}, false},
        {0x80047C09, JobState::NotInstalled, JobState::NotInstalled, 0, kNoLine, {}, false},
        {0x80047C13, JobState::NotInstalled, JobState::NotInstalled, 0, kNoLine, {}, false},
        {0x80047C14, JobState::NotInstalled, JobState::NotInstalled, 0, kNoLine, {}, false},
        // The installer started a reboot.
        {0x80070669, JobState::Rebooting, JobState::Rebooting, 0, kNoLine, {}, true},
        {0x00047C03, JobState::Rebooting, JobState::Rebooting, 0, kNoLine, {}, true},
        {0x00047C04, JobState::Rebooting, JobState::Rebooting, 0, kNoLine, {}, true},
        // A reboot is required (3010 as an HRESULT among them).
        {0x80070BC2, JobState::RebootRequired, JobState::RebootRequired, 0, kNoLine, {}, true},
        {0x00047C05, JobState::RebootRequired, JobState::RebootRequired, 0, kNoLine, {}, true},
        // Known codes that are not reported.
        {0x8017000C,
         JobState::InstallerUnreported,
         JobState::InstallerUnreported,
         0,
         kNoLine,
         {},
         false},
        {0x80047C05,
         JobState::InstallerUnreported,
         JobState::InstallerUnreported,
         0,
         kNoLine,
         {},
         false},
        {0x80047C02,
         JobState::InstallerUnreported,
         JobState::InstallerUnreported,
         0,
         kNoLine,
         {},
         false},
        {0x00047C02,
         JobState::InstallerUnreported,
         JobState::InstallerUnreported,
         0,
         kNoLine,
         {},
         false},
        // Codes passed on to the host as they are.
        {0x80170002,
         JobState::InstallerReported,
         JobState::InstallerReported,
         0x80170002,
         1153,
         {},
         false},
        {0x80070070,
         JobState::InstallerReported,
         JobState::InstallerReported,
         0x80070070,
         1153,
         {},
         false},
        {0x80047C01,
         JobState::InstallerReported,
         JobState::InstallerReported,
         0x80047C01,
         1153,
         {},
         false},
        // The installer's failure range, both ends and inside.
        {0x80047D70,
         JobState::InstallerFailed,
         JobState::InstallerFailed,
         0x80047D70,
         1163,
         {},
         false},
        {0x80047D71,
         JobState::InstallerFailed,
         JobState::InstallerFailed,
         0x80047D71,
         1163,
         {},
         false},
        {0x80047D73,
         JobState::InstallerFailed,
         JobState::InstallerFailed,
         0x80047D73,
         1163,
         {},
         false},
        // Just outside the range, and codes nobody knows: an unrecognised failure.
        {0x80047D6F, JobState::Failed, JobState::Failed, 0x80047F23, 1170, {}, false},
        {0x80047D74, JobState::Failed, JobState::Failed, 0x80047F23, 1170, {}, false},
        {0x00000005, JobState::Failed, JobState::Failed, 0x80047F23, 1170, {}, false},
        {0x00000BC2, JobState::Failed, JobState::Failed, 0x80047F23, 1170, {}, false},
        {0xFFFFFFFF, JobState::Failed, JobState::Failed, 0x80047F23, 1170, {}, false},
    };
    for (const Row& row : rows) {
        for (const bool installed : {true, false}) {
            const RunOutcome outcome = MapInstallerExitCode(row.exitCode, installed);
            const std::string where =
                Hex(row.exitCode) + (installed ? " installed" : " not installed");
            EXPECT_EQ(outcome.state, installed ? row.whenInstalled : row.whenNotInstalled) << where;
            EXPECT_EQ(outcome.error.has_value(), row.errorCode != 0) << where;
            if (outcome.error && row.errorCode != 0) {
                EXPECT_EQ(outcome.error->code, row.errorCode) << where;
                EXPECT_EQ(outcome.error->line, row.errorLine) << where;
            }
            EXPECT_EQ(outcome.status, row.status) << where;
            EXPECT_EQ(outcome.restartNeeded, row.restartNeeded) << where;
        }
    }
}

TEST(ExitCodeMapping, OnlyTheDeclinedCodeSkipsTheFollowUpCheck) {
    EXPECT_FALSE(NeedsInstalledCheck(0x80047C10));
    for (const uint32_t code : {0x00000000u, 0x80070BC2u, 0x80047D71u, 0x00000005u})
        EXPECT_TRUE(NeedsInstalledCheck(code)) << Hex(code);
}

}  // namespace
