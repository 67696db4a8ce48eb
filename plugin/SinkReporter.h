// The host's sink as the run reports to it.
#pragma once

#include "job/RunReporter.h"
#include "plugin/QVDHostInterface.h"
#include "support/text/Utf.h"

namespace qvd::plugin {

class SinkReporter final : public job::RunReporter {
public:
    explicit SinkReporter(IQVDJobSink* sink) : m_sink(sink) {}
    void ReportError(int32_t code, const std::u16string& location) override {
        m_sink->ReportError(code, pxLib::AsWide(location));
    }
    void ReportStatus(int32_t status) override { m_sink->ReportStatus(status); }

private:
    IQVDJobSink* m_sink;
};

}  // namespace qvd::plugin
