#include "job/ForceOverinstall.h"

#include "support/logging/Log.h"

namespace qvd::job {

bool ReadForceOverinstall(const JobReader& reader) {
    JsonKind kind = JsonKind::Null;
    bool forced = false;
    if (!reader.ForceOverinstall(kind, forced)) return false;
    if (kind == JsonKind::Int) return forced;
    pxLib::LogWarning(
        u"qvd::plugin::QVDPluginImpl::run(671) : force_overinstall of type %d ignored",
        static_cast<int>(kind));
    return false;
}

}  // namespace qvd::job
