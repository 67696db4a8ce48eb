// The verifier's policy object: whether verification is enabled at all, kept
// as "AlternateTrustPolicy" under HKLM\<product registry root>\Plexor\pxVerifyTrust.
// Only Create(true) consults it.
#pragma once

#include "trust/VerifyTrustInterfaces.h"

namespace pxLib {

class VerifyTrustPolicy final : public IVerifyTrustPolicy {
public:
    [[nodiscard]] OBJRESULT QueryInterface(const Guid& iid, void** out) override;
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }

    // Writes the value (0 or 1); false when the key or value cannot be written.
    [[nodiscard]] bool SetAlternateTrustPolicy(bool value) override;
    // True unless the value reads 0; a 0 once read is remembered for the process.
    [[nodiscard]] bool GetAlternateTrustPolicy() override;

private:
    RefCount m_refs;
};

}  // namespace pxLib
