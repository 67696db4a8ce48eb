#include "trust/TrustIdentity.h"

namespace pxLib {

const TrustIdentity& BuildIdentity() {
    static const TrustIdentity identity{
        QVD_IDENTITY_SUBJECT_MARKER,
        QVD_IDENTITY_MAKER_UNIT,
        {QVD_IDENTITY_MAKER_NAME, QVD_IDENTITY_MAKER_NAME_2, QVD_IDENTITY_MAKER_NAME_3,
         QVD_IDENTITY_MAKER_NAME_4, QVD_IDENTITY_MAKER_NAME_5},
        QVD_IDENTITY_PLATFORM_ORGANISATION,
        QVD_IDENTITY_PLATFORM_UNIT,
        QVD_IDENTITY_ALT_PUBLISHER_NAME,
    };
    return identity;
}

}  // namespace pxLib
