// "qvdpack check" on the test PKI's signed fixtures and the sample product:
// the verdict the plug-in would reach, the identity rule that accepts the
// signer or why each refuses, and the reason that decided a refusal last.
#include "TestSupport.h"
#include "ToolRunner.h"
#include "support/text/Utf.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using packertest::RunQvdpack;

std::u16string Fixture(const wchar_t* name) {
    return pxLib::ToU16(qvdtest::InstallerFixture(name));
}

std::u16string SampleInstaller(const char* name) {
    return pxLib::ToU16(qvdtest::WinePath(std::string(QVD_TEST_SAMPLE_DIR "/") + name));
}

std::string LastLine(const std::string& output) {
    std::string text = output;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const size_t newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

constexpr char kStarts[] = "verdict: this build of the plug-in starts this installer";
constexpr char kRefuses[] = "verdict: this build of the plug-in refuses this installer";

TEST(QvdpackCheck, SaysWhichRuleAcceptsTheMakersInstallers) {
    const struct {
        const wchar_t* fixture;
        std::vector<const char*> lines;
    } cases[] = {
        {L"maker",
         {"rule code-signing usage: accepted", "rule subject-marker fallback: not needed",
          "rule maker unit: refused - organisational unit is 'Install', not the maker unit "
          "'Halvex Sample Code Signing'",
          "rule maker pair (1,1): accepted - common name is 'Halvex Sample Publisher', "
          "organisation is 'Halvex Sample Publisher'",
          "rule maker pair (1,2): refused - common name is 'Halvex Sample Publisher', "
          "organisation must then be 'Halvex Sample Publisher Ltd'"}},
        {L"maker-pair12", {"rule maker pair (1,2): accepted"}},
        {L"maker-pair33", {"rule maker pair (3,3): accepted"}},
        {L"maker-pair45",
         {"rule maker names 4/5 mix: accepted - common name is 'Halvex Sample Build', "
          "organisation is 'Halvex Sample Release'"}},
        {L"maker-unit",
         {"rule maker unit: accepted - organisational unit is 'Halvex Sample Code Signing', the "
          "maker unit",
          "rule maker pair (1,1): not reached"}},
        {L"nocodesign",
         {"rule code-signing usage: refused - not usable for code signing (usages: "
          "1.3.6.1.5.5.7.3.1)",
          "rule subject-marker fallback: accepted - the subject holds the subject marker "
          "'Halvex Sample Publisher'",
          "rule maker pair (1,1): accepted"}},
        {L"nousage", {"rule subject-marker fallback: accepted"}},
    };
    for (const auto& c : cases) {
        const std::string name = qvdtest::Narrow(c.fixture);
        const auto run = RunQvdpack({u"check", Fixture(c.fixture)});
        EXPECT_EQ(run.exitCode, 0) << name << "\n" << run.output;
        EXPECT_NE(run.output.find("signature: the platform's verdict at the maker level is "
                                  "VT_TRUSTED"),
                  std::string::npos)
            << name << "\n"
            << run.output;
        for (const char* line : c.lines)
            EXPECT_NE(run.output.find(line), std::string::npos) << name << ": " << line << "\n"
                                                                << run.output;
        EXPECT_EQ(LastLine(run.output), kStarts) << name << "\n" << run.output;
    }
}

TEST(QvdpackCheck, RefusesWithTheReasonThatDecidedLast) {
    const struct {
        const wchar_t* fixture;
        const char* reason;
    } cases[] = {
        {L"other",
         "the subject has no organisational unit; every maker rule needs a common name and a "
         "unit"},
        {L"maker-nolocality",
         "the subject has no locality; the maker pairs need an organisation, a locality, a state "
         "and a country"},
        {L"maker-pair21",
         "no identity rule of this build accepts the signer: organisation is 'Halvex Sample "
         "Publisher', common name must then be 'Halvex Sample Publisher'"},
        {L"nocodesign-nomarker",
         "no code-signing usage, and the subject does not hold the subject marker 'Halvex "
         "Sample Publisher'"},
        {L"tampered", "the platform's verdict is VT_NOT_TRUSTED"},
        {L"unsigned", "the platform's verdict is VT_NOT_TRUSTED"},
    };
    for (const auto& c : cases) {
        const std::string name = qvdtest::Narrow(c.fixture);
        const auto run = RunQvdpack({u"check", Fixture(c.fixture)});
        EXPECT_EQ(run.exitCode, 1) << name << "\n" << run.output;
        EXPECT_NE(run.output.find(std::string(kRefuses) + " (0x800B0004)\n"), std::string::npos)
            << name << "\n"
            << run.output;
        EXPECT_EQ(LastLine(run.output).rfind(std::string("reason: ") + c.reason, 0), 0u)
            << name << "\n"
            << run.output;
    }
}

TEST(QvdpackCheck, TellsWhereTheCertificateTableLiesAndWhatTheLayoutDataAsks) {
    // Signed as built, with its symbol table: the plug-in starts it, but a
    // package added to it would lie where the reader never looks.
    auto run = RunQvdpack({u"check", Fixture(L"unstripped-maker")});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("bytes, but the package reader looks at "), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("strip the executable before signing it\n"), std::string::npos)
        << run.output;

    run = RunQvdpack({u"check", Fixture(L"maker-layout")});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("file: PE32+ image"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("behind the last section, where the package reader looks\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("archive 0: id \"FDELayoutData\""), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("entry 1001: 64: the installed check wants entry 1002 of "
                              "install.dat to be the job's site code"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("entry 1002: 'sample layout data'"), std::string::npos) << run.output;

    run = RunQvdpack({u"check", Fixture(L"maker")});
    EXPECT_NE(run.output.find("package: none"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("layout data: none"), std::string::npos) << run.output;
}

TEST(QvdpackCheck, TheSampleProductAndItsRefusedCopies) {
    auto run = RunQvdpack({u"check", SampleInstaller("SampleProduct-1.0.0.0-Setup.exe")});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("rule maker pair (1,1): accepted"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("layout data: \"FDELayoutData\" loads"), std::string::npos)
        << run.output;

    run = RunQvdpack({u"check", SampleInstaller("SampleProduct-1.1.0.0-Setup-changed.exe")});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_EQ(LastLine(run.output).rfind("reason: the platform's verdict is VT_NOT_TRUSTED", 0), 0u)
        << run.output;

    run =
        RunQvdpack({u"check", SampleInstaller("SampleProduct-1.1.0.0-Setup-other-publisher.exe")});
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("signature: the platform's verdict at the maker level is "
                              "VT_TRUSTED"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(LastLine(run.output).rfind("reason: ", 0), 0u) << run.output;
}

TEST(QvdpackCheck, UsageErrorsExitWithTwo) {
    EXPECT_EQ(RunQvdpack({u"check"}).exitCode, 2);
    EXPECT_EQ(RunQvdpack({u"check", Fixture(L"maker"), Fixture(L"other")}).exitCode, 2);
}

}  // namespace
