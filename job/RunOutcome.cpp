#include "job/RunOutcome.h"

#include "support/text/Utf.h"

#include <string>

namespace qvd::job {

std::u16string RunLocation(unsigned line) {
    return u"qvd::plugin::QVDPluginImpl::run(" + pxLib::Utf8ToUtf16(std::to_string(line)) + u")";
}

}  // namespace qvd::job
