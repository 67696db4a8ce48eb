// The host's sink: prints every call as it happens.
#pragma once

#include "plugin/QVDHostInterface.h"

namespace qvdhost {

class ConsoleSink final : public qvd::IQVDJobSink {
public:
    void ReportError(int32_t code, const wchar_t* location) override;
    void ReportStatus(int32_t status) override;
};

const wchar_t* StateMeaning(int32_t state);
const wchar_t* StatusMeaning(int32_t status);
// Prints one line to stdout at once (the sink is called from the plug-in's thread).
void PrintLine(const wchar_t* format, ...);

}  // namespace qvdhost
