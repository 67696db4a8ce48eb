// A verifier module ("pxVrTrst.dll") built from this tree's own verifier: what
// the module trust hook and the object-factory route load.
#include "ModuleSupport.h"
#include "trust/VerifyTrust.h"

namespace {

// For the module trust hook, and as the object-factory route's class.
const qvdmodule::Guid kServed[] = {pxLib::FACTORYID_VerifyTrustModule, pxLib::CLSID_VerifyTrust};

}  // namespace

QVD_MODULE_EXPORT qvdmodule::OBJRESULT GetFactory(const qvdmodule::Guid* id, void** out) {
    return qvdmodule::ServeFactory(id, out, kServed, &qvdmodule::MakeObject<pxLib::CVerifyTrust>);
}
