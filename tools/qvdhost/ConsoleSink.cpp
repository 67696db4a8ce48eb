#include "ConsoleSink.h"

namespace qvdhost {

void ConsoleSink::ReportError(int32_t code, const wchar_t* location) {
    m_report.Error(code, location);
}

void ConsoleSink::ReportStatus(int32_t status) {
    m_report.Status(status);
}

}  // namespace qvdhost
