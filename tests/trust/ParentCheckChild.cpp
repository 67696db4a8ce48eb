// A child program for the parent-process checks: verifies its parent at the
// level given, twice, and exits with both answers (first * 100 + second).
// Usage: trust_parent_check_child <level> [disabled-first]
#include "ChildSteps.h"
#include "trust/VerifyTrust.h"

#include <string>

int main() {
    const std::vector<std::wstring> args = qvdtest::ProgramArguments();
    if (args.size() < 2) return 1;
    const auto level = static_cast<pxLib::TrustLevel>(std::stoul(args[1]));
    pxLib::RefPtr<pxLib::CVerifyTrust> verifier(new pxLib::CVerifyTrust);
    verifier->SetProviderEnabled(false);
    if (verifier->Create(false) != pxLib::ValidationError::VT_TRUSTED) return 1;
    // A disabled verifier's answer must not count as a verification.
    if (args.size() > 2) {
        verifier->SetEnabled(false);
        static_cast<void>(verifier->VerifyParentProcess(level));
        verifier->SetEnabled(true);
    }
    const uint32_t first = pxLib::ToUInt(verifier->VerifyParentProcess(level));
    const uint32_t second = pxLib::ToUInt(verifier->VerifyParentProcess(level));
    return static_cast<int>(first * 100 + second);
}
