// The C runtime preload of the run sequence (needed on systems before Windows 8).
#pragma once

#include <windows.h>

namespace qvd::job {

// S_OK on Windows 8 (6.2) or later without doing anything. On older systems
// the library "%INSTALLDIR%\ucrtbase.dll" is loaded once per process; the
// first attempt's result is kept.
[[nodiscard]] HRESULT PreloadCRuntime();

// The preload as a run makes it: the outcome is logged and never stops the run.
void PreloadCRuntimeForRun();

}  // namespace qvd::job
