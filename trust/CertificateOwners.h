// Owners for the certificate services' handles: a certificate context, a
// certificate store and a cryptographic message.
#pragma once

#include "support/system/UniqueHandle.h"

#include <wincrypt.h>

namespace pxLib {

struct CertificateContextTraits {
    using Type = PCCERT_CONTEXT;
    static Type Invalid() { return nullptr; }
    [[nodiscard]] static bool IsValid(Type c) { return c != nullptr; }
    static void Close(Type c) { ::CertFreeCertificateContext(c); }
};
using UniqueCertificate = UniqueResource<CertificateContextTraits>;

struct CertificateStoreTraits {
    using Type = HCERTSTORE;
    static Type Invalid() { return nullptr; }
    [[nodiscard]] static bool IsValid(Type s) { return s != nullptr; }
    static void Close(Type s) { ::CertCloseStore(s, 0); }
};
using UniqueCertificateStore = UniqueResource<CertificateStoreTraits>;

struct CryptMessageTraits {
    using Type = HCRYPTMSG;
    static Type Invalid() { return nullptr; }
    [[nodiscard]] static bool IsValid(Type m) { return m != nullptr; }
    static void Close(Type m) { ::CryptMsgClose(m); }
};
using UniqueCryptMessage = UniqueResource<CryptMessageTraits>;

}  // namespace pxLib
