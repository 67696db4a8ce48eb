// Starting the verified installer the right way for the host's account: as
// the host's own child for a service in the system context, in the user's
// session for a service otherwise, else through the shell (elevated when the
// job asks for it and UAC is on).
#pragma once

#include "job/JobDescription.h"
#include "job/RunOutcome.h"
#include "support/system/UniqueHandle.h"

#include <optional>
#include <string>

namespace qvd::job {

struct LaunchResult {
    std::optional<RunOutcome> failure;  // how the run ends when nothing was started
    pxLib::UniqueHandle process;        // may be empty even on success (a shell launch)
};

// True when the worker runs as LocalSystem: a service host.
[[nodiscard]] bool HostIsService();

// The launch of a service host: the system context as the host's own child,
// any other in the interactive user's session, where the waits between the
// attempts end on the cancel event.
LaunchResult LaunchAsService(const JobReader& reader, const std::wstring& installerPath,
                             const std::u16string& arguments, HANDLE cancelEvent);

// The launch of an interactive host, through the shell.
LaunchResult LaunchForInteractiveHost(const JobReader& reader, const std::wstring& installerPath,
                                      const std::u16string& arguments);

}  // namespace qvd::job
