// Where a run reports to the host: the plug-in hands the host's sink in
// through this, so the job layer needs nothing of the plug-in's interface.
#pragma once

#include "job/RunOutcome.h"

namespace qvd::job {

class RunReporter {
public:
    virtual ~RunReporter() = default;
    virtual void ReportError(int32_t code, const std::u16string& location) = 0;
    virtual void ReportStatus(int32_t status) = 0;
};

}  // namespace qvd::job
