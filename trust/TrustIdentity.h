// The identity values the signer checks compare against: inputs of the build
// (cmake/BuildIdentity.cmake), compiled in as plain UTF-16 strings.
#pragma once

#include <string_view>

namespace pxLib {

struct TrustIdentity {
    std::u16string_view subjectMarker;         // must occur in a subject without code signing
    std::u16string_view makerUnit;             // an organisational unit that names the maker
    std::u16string_view makerNames[5];         // maker names 1 to 5
    std::u16string_view platformOrganisation;  // the platform vendor's organisation (or unit)
    std::u16string_view platformUnit;          // a unit that names the platform vendor
    std::u16string_view altPublisherName;      // common name and organisation of level 5
};

// The values this build was configured with.
const TrustIdentity& BuildIdentity();

}  // namespace pxLib
