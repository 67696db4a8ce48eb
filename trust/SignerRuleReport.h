// What the signer checks decided, rule by rule, in plain words: for tools that
// explain a verdict. The checks report to the observer set here while they run
// and cost nothing more when none is set.
#pragma once

#include "trust/TrustTypes.h"

#include <cstdint>
#include <string_view>

namespace pxLib {

// The checks an installer's signer passes or fails, in the order they run.
enum class SignerRule : uint8_t {
    CodeSigningUsage,
    SubjectMarker,    // the fallback when the code-signing usage is missing
    MakerAttributes,  // the subject attributes every maker rule needs
    MakerUnit,
    MakerPair11,  // common name 1, organisation 1
    MakerPair12,  // common name 1, organisation 2
    MakerPair33,  // common name 3, organisation 3
    MakerMix45,   // common name and organisation each maker name 4 or 5
};

class ISignerRuleObserver {
public:
    virtual ~ISignerRuleObserver() = default;
    // A signer certificate is about to be judged at level; subject is its text.
    virtual void SignerExamined(TrustLevel level, std::u16string_view subject) = 0;
    virtual void RuleJudged(SignerRule rule, bool accepted, std::u16string_view reason) = 0;
};

// Null stops the reports. The observer must outlive every check it watches.
void SetSignerRuleObserver(ISignerRuleObserver* observer);
ISignerRuleObserver* SignerRuleObserver();

}  // namespace pxLib
