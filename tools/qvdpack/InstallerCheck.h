// "qvdpack check": will this build of the plug-in start this installer? The
// checks the plug-in runs before it launches, through the same libraries,
// each printed with its verdict and, where it fails, the reason.
#pragma once

#include <string>

namespace qvdpack {

enum class CheckVerdict : int { Starts = 0, Refused = 1 };

// Appends the report to text; the last line of a refusal is the reason that
// decided it.
CheckVerdict CheckInstaller(const std::wstring& path, std::string& text);

}  // namespace qvdpack
