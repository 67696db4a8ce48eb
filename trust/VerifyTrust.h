// The trust verifier object: the core verification (verdict provider, file
// cache, signature stage) behind every form of subject the interfaces offer.
#pragma once

#include "trust/TrustPolicy.h"
#include "trust/VerdictProvider.h"
#include "trust/VerifyTrustInterfaces.h"

#include <atomic>
#include <string>

namespace pxLib {

class CVerifyTrust final : public IVerifyTrust,
                           public IVerifyTrustCache,
                           public IVerifyTrustProviderOption,
                           public IVerifyHeldFile {
public:
    CVerifyTrust();

    // The three first operations, shared by every interface.
    [[nodiscard]] OBJRESULT QueryInterface(const Guid& iid, void** out) override;
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }

    // IVerifyTrust
    [[nodiscard]] ValidationError Create(bool applyPolicy) override;
    [[nodiscard]] ValidationError ReleaseProvider() override;
    [[nodiscard]] ValidationError VerifyFile(const wchar_t* path, TrustLevel level) override;
    [[nodiscard]] ValidationError VerifyFile(const char* path, TrustLevel level) override;
    [[nodiscard]] ValidationError VerifyProcess(uint32_t processId, TrustLevel level) override;
    [[nodiscard]] ValidationError VerifyCurrentProcess(TrustLevel level) override;
    [[nodiscard]] ValidationError VerifyParentProcess(TrustLevel level) override;
    [[nodiscard]] ValidationError VerifyModuleAt(const void* address, TrustLevel level) override;
    [[nodiscard]] ValidationError VerifyModuleOfObject(const void* object,
                                                       TrustLevel level) override;
    [[nodiscard]] ValidationError VerifyModuleAt(uintptr_t address, TrustLevel level) override;
    [[nodiscard]] ValidationError VerifyClass(const Guid& classId, TrustLevel level) override;
    void SetEnabled(bool enabled) override { m_bEnabled = enabled; }
    [[nodiscard]] bool GetEnabled() override { return m_bEnabled; }
    void SetRevocationCheck(bool check) override { m_bRevocationCheck = check; }
    [[nodiscard]] bool GetRevocationCheck() override { return m_bRevocationCheck; }
    [[nodiscard]] ValidationError VerifyFile(const wchar_t* path, TrustLevel level, bool variant,
                                             bool* systemComponent) override;
    [[nodiscard]] ValidationError VerifyFile(const char* path, TrustLevel level, bool variant,
                                             bool* systemComponent) override;
    [[nodiscard]] ValidationError VerifyFile(const wchar_t* path, TrustLevel level,
                                             bool variant) override;
    [[nodiscard]] ValidationError VerifyFile(const char* path, TrustLevel level,
                                             bool variant) override;
    [[nodiscard]] ValidationError VerifyDriverFile(const wchar_t* path, bool variant) override;
    [[nodiscard]] ValidationError VerifyDriverFile(const char* path, bool variant) override;

    // IVerifyTrustCache
    void SetCacheEnabled(bool enabled) override { m_bCacheEnabled = enabled; }
    [[nodiscard]] bool GetCacheEnabled() override { return m_bCacheEnabled; }
    void SetCacheLimit(uint32_t count) override;
    uint32_t GetCacheLimit() override;
    void ClearCache() override;
    [[nodiscard]] ValidationError ForgetFile(const wchar_t* path) override;

    // IVerifyTrustProviderOption
    void SetProviderEnabled(bool enabled) override { m_bProviderEnabled = enabled; }
    [[nodiscard]] bool GetProviderEnabled() override { return m_bProviderEnabled; }

    // IVerifyHeldFile
    [[nodiscard]] ValidationError VerifyHeldFile(const wchar_t* path, TrustLevel level,
                                                 HANDLE heldFile) override;

private:
    struct CoreRequest {
        const wchar_t* path = nullptr;
        TrustLevel level = TrustLevel::SignedAny;
        bool variant = false;
        bool* systemComponent = nullptr;
        bool driverPolicy = false;
        HANDLE heldFile = nullptr;
    };
    [[nodiscard]] ValidationError Verify(const CoreRequest& request);
    [[nodiscard]] ValidationError VerifyCore(const CoreRequest& request);
    [[nodiscard]] ValidationError VerifyNarrow(const char* path, TrustLevel level, bool variant,
                                               bool* systemComponent, bool driverPolicy);
    [[nodiscard]] ValidationError VerifyPath(const std::wstring& path, TrustLevel level);

    RefCount m_refs;
    std::atomic<bool> m_bEnabled{true};
    std::atomic<bool> m_bCacheEnabled{false};
    std::atomic<bool> m_bProviderEnabled{true};
    std::atomic<bool> m_bRevocationCheck{false};
    RefPtr<VerifyTrustPolicy> m_pPolicy;
    VerdictProvider m_provider;
};

}  // namespace pxLib
