// The host's sink: hands every call to the report as it happens.
#pragma once

#include "HostReport.h"
#include "QVDHostInterface.h"

namespace qvdhost {

class ConsoleSink final : public qvd::IQVDJobSink {
public:
    explicit ConsoleSink(HostReport& report) : m_report(report) {}
    void ReportError(int32_t code, const wchar_t* location) override;
    void ReportStatus(int32_t status) override;

private:
    HostReport& m_report;
};

}  // namespace qvdhost
