// The installer's argument string: the job's own arguments, the host's
// pass-through and silent-run switches, the token and the machine name.
#pragma once

#include "job/JobDescription.h"
#include "support/cmdline/pxCommandLine.h"

#include <functional>
#include <string>

namespace qvd::job {

struct InstallerArguments {
    std::u16string text;
    // When set, the installer's quiet and tray switches are removed again.
    bool strip = false;
};

// What the arguments need to know about the host process.
struct HostProcess {
    // The host's executable path for "%QVDPATH%"; false when it cannot be read
    // (the reader logs why), and the token then stays as it is.
    std::function<bool(std::u16string& path)> readImagePath;
    // The host's own command line, split with "/-"; parsed false when it could not be.
    bool parsed = false;
    pxLib::CCommandLine commandLine;
};

// Builds the string in its fixed order. Raises the job accessors' errors for a
// document of the wrong shape (the run sequence catches them).
InstallerArguments BuildInstallerArguments(const JobReader& job, const HostProcess& host);

// With the strip flag set, the installer's quiet and tray switches are taken
// out again; a string that cannot be split is left as built.
void StripWhenAsked(InstallerArguments& arguments);

// The installer's full command line for a direct launch: the path in double
// quotes (a path with blanks must never be read as a shorter program path),
// one blank, then the arguments.
std::u16string FullCommandLine(std::u16string_view installerPath, std::u16string_view arguments);

}  // namespace qvd::job
