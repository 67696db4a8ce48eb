// The trust verifier's interfaces as other modules see them: reference-counted
// objects of the host object model whose operations keep the slot order below.
#pragma once

#include "collections/factory/ObjectModel.h"
#include "trust/TrustTypes.h"

#include <windows.h>

#include <cstdint>

namespace pxLib {

// IVerifyTrust answers the all-zero id and each of these four.
constexpr Guid IID_IVerifyTrust = {
    0x384A2AA1, 0xA17E, 0x4FCF, {0xB5, 0x49, 0xB8, 0xAC, 0xFF, 0x68, 0x73, 0xBD}};
constexpr Guid IID_IVerifyTrustObject = {
    0xD8F30E00, 0x8F44, 0x44FE, {0x98, 0x6F, 0xF9, 0xBC, 0xBD, 0xF1, 0x9F, 0x6B}};
constexpr Guid IID_IVerifyTrustAlias1 = {
    0xBF723183, 0xD246, 0x4806, {0xB1, 0x36, 0x39, 0xD6, 0x4D, 0x9D, 0x8F, 0x3A}};
constexpr Guid IID_IVerifyTrustAlias2 = {
    0x1EBC13D0, 0x85F7, 0x4542, {0x89, 0xD8, 0x43, 0x91, 0x99, 0x57, 0x9D, 0x9F}};
constexpr Guid IID_IVerifyTrustCache = {
    0x17C9B88B, 0x8B72, 0x4F4E, {0xAC, 0x70, 0xDE, 0x0B, 0xDF, 0x8A, 0xC9, 0xFB}};
constexpr Guid IID_IVerifyTrustProviderOption = {
    0x5B9E112F, 0x80C3, 0x42A0, {0xA3, 0xED, 0x41, 0xDA, 0x9E, 0xE5, 0x5F, 0xDE}};
constexpr Guid IID_IVerifyTrustPolicy = {
    0xF5D3E553, 0x9157, 0x440E, {0x8C, 0x37, 0xE5, 0x19, 0x1B, 0x83, 0x62, 0x5A}};
// The verifier's object id on the object-factory route, and the factory id a
// verifier module ("pxVrTrst.dll") answers for the module trust hook.
constexpr Guid CLSID_VerifyTrust = IID_IVerifyTrustProviderOption;
constexpr Guid FACTORYID_VerifyTrustModule = IID_IVerifyTrustCache;

class IVerifyTrust : public IRefObject {
public:
    // Releases any verdict provider; with applyPolicy the policy object decides
    // whether verification is enabled; then sets the verdict provider up.
    [[nodiscard]] virtual ValidationError Create(bool applyPolicy) = 0;  // 3
    [[nodiscard]] virtual ValidationError ReleaseProvider() = 0;         // 4
    [[nodiscard]] virtual ValidationError VerifyFile(const wchar_t* path,
                                                     TrustLevel level) = 0;                    // 5
    [[nodiscard]] virtual ValidationError VerifyFile(const char* path, TrustLevel level) = 0;  // 6
    [[nodiscard]] virtual ValidationError VerifyProcess(uint32_t processId,
                                                        TrustLevel level) = 0;         // 7
    [[nodiscard]] virtual ValidationError VerifyCurrentProcess(TrustLevel level) = 0;  // 8
    [[nodiscard]] virtual ValidationError VerifyParentProcess(TrustLevel level) = 0;   // 9
    [[nodiscard]] virtual ValidationError VerifyModuleAt(const void* address,
                                                         TrustLevel level) = 0;  // 10
    // The module that implements the object: its first word is its function table.
    [[nodiscard]] virtual ValidationError VerifyModuleOfObject(const void* object,
                                                               TrustLevel level) = 0;  // 11
    [[nodiscard]] virtual ValidationError VerifyModuleAt(uintptr_t address,
                                                         TrustLevel level) = 0;  // 12
    [[nodiscard]] virtual ValidationError VerifyClass(const Guid& classId,
                                                      TrustLevel level) = 0;  // 13
    virtual void SetEnabled(bool enabled) = 0;                                // 14
    [[nodiscard]] virtual bool GetEnabled() = 0;                              // 15
    virtual void SetRevocationCheck(bool check) = 0;                          // 16
    [[nodiscard]] virtual bool GetRevocationCheck() = 0;                      // 17
    [[nodiscard]] virtual ValidationError VerifyFile(const wchar_t* path, TrustLevel level,
                                                     bool variant,
                                                     bool* systemComponent) = 0;  // 18
    [[nodiscard]] virtual ValidationError VerifyFile(const char* path, TrustLevel level,
                                                     bool variant,
                                                     bool* systemComponent) = 0;  // 19
    [[nodiscard]] virtual ValidationError VerifyFile(const wchar_t* path, TrustLevel level,
                                                     bool variant) = 0;  // 20
    [[nodiscard]] virtual ValidationError VerifyFile(const char* path, TrustLevel level,
                                                     bool variant) = 0;  // 21
    // Level 4 under the driver policy.
    [[nodiscard]] virtual ValidationError VerifyDriverFile(const wchar_t* path,
                                                           bool variant) = 0;  // 22
    [[nodiscard]] virtual ValidationError VerifyDriverFile(const char* path,
                                                           bool variant) = 0;  // 23

protected:
    ~IVerifyTrust() = default;
};

class IVerifyTrustCache : public IRefObject {
public:
    virtual void SetCacheEnabled(bool enabled) = 0;    // 3
    [[nodiscard]] virtual bool GetCacheEnabled() = 0;  // 4
    virtual void SetCacheLimit(uint32_t count) = 0;    // 5
    virtual uint32_t GetCacheLimit() = 0;              // 6
    virtual void ClearCache() = 0;                     // 7
    // VT_TRUSTED when an entry was removed; VT_INVALID_ARG for a null path,
    // while the verdict provider is enabled, or when no entry matches.
    [[nodiscard]] virtual ValidationError ForgetFile(const wchar_t* path) = 0;  // 8

protected:
    ~IVerifyTrustCache() = default;
};

class IVerifyTrustProviderOption : public IRefObject {
public:
    virtual void SetProviderEnabled(bool enabled) = 0;    // 3
    [[nodiscard]] virtual bool GetProviderEnabled() = 0;  // 4

protected:
    ~IVerifyTrustProviderOption() = default;
};

class IVerifyTrustPolicy : public IRefObject {
public:
    [[nodiscard]] virtual bool SetAlternateTrustPolicy(bool value) = 0;  // 3
    [[nodiscard]] virtual bool GetAlternateTrustPolicy() = 0;            // 4

protected:
    ~IVerifyTrustPolicy() = default;
};

// The module's own prelaunch verification hands the verifier the installer it
// holds open, so the platform's trust provider judges that very file.
constexpr Guid IID_IVerifyHeldFile = {
    0x93A4C6E1, 0x2D58, 0x4B7F, {0x8E, 0x03, 0x61, 0xF9, 0xAB, 0x24, 0xC7, 0x5D}};

class IVerifyHeldFile : public IRefObject {
public:
    [[nodiscard]] virtual ValidationError VerifyHeldFile(const wchar_t* path, TrustLevel level,
                                                         HANDLE heldFile) = 0;

protected:
    ~IVerifyHeldFile() = default;
};

}  // namespace pxLib
