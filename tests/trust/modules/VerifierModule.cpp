// A verifier module ("pxVrTrst.dll") built from this tree's own verifier: what
// the module trust hook and the object-factory route load.
#include "ModuleSupport.h"
#include "trust/VerifyTrust.h"

#include <new>

namespace {

qvdmodule::OBJRESULT CreateVerifier(const qvdmodule::Guid& iid, void** out) {
    pxLib::RefPtr<pxLib::CVerifyTrust> verifier(new (std::nothrow) pxLib::CVerifyTrust);
    if (!verifier) return pxLib::OBJ_E_OUTOFMEMORY;
    return verifier->QueryInterface(iid, out);
}

}  // namespace

QVD_MODULE_EXPORT qvdmodule::OBJRESULT GetFactory(const qvdmodule::Guid* id, void** out) {
    if (out == nullptr) return pxLib::OBJ_E_INVALIDARG;
    *out = nullptr;
    if (id == nullptr ||
        (*id != pxLib::FACTORYID_VerifyTrustModule && *id != pxLib::CLSID_VerifyTrust))
        return pxLib::OBJ_E_INVALIDARG;
    return qvdmodule::HandOutFactory(&CreateVerifier, out);
}
