// Dotted product versions ("1.2.3.4") compared part by part from the left.
#pragma once

#include <string_view>

namespace qvd::job {

enum class VersionOrder : uint8_t { Older, Newer, Same };

// How the installed version stands against the one being installed: up to
// four decimal parts each, missing parts counting as 0.
VersionOrder CompareInstalledVersion(std::u16string_view wanted, std::u16string_view installed);

}  // namespace qvd::job
