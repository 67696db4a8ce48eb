// The three forms of registration with the process object factory, each a
// request that prepares, makes the provider, and checks an existing entry.
#pragma once

#include "collections/factory/ProcessObjectFactory.h"

#include <string>

namespace pxLib {

enum class RegistrationKind : uint32_t {
    Creator = 1,
    Provider = 2,
    Module = 3,
};

// One class in the factory's map.
struct ClassEntry {
    RefPtr<IClassProvider> provider;
    RegistrationKind kind{};
    uint64_t count = 0;
    std::u16string modulePath;  // kind 3 only
};

class RegistrationRequest {
public:
    virtual ~RegistrationRequest() = default;
    virtual RegistrationKind Kind() const = 0;
    [[nodiscard]] virtual OBJRESULT Prepare() = 0;
    [[nodiscard]] virtual OBJRESULT MakeProvider(RefPtr<IClassProvider>& provider) = 0;
    // Fills what the entry keeps besides the provider.
    virtual void Describe(ClassEntry&) const {}
    // Whether a repeated registration names what the entry already holds.
    [[nodiscard]] virtual OBJRESULT CheckExisting(const ClassEntry& entry) const = 0;
};

class CreatorRequest final : public RegistrationRequest {
public:
    explicit CreatorRequest(ObjectCreator creator) : m_creator(creator) {}
    RegistrationKind Kind() const override { return RegistrationKind::Creator; }
    [[nodiscard]] OBJRESULT Prepare() override;
    [[nodiscard]] OBJRESULT MakeProvider(RefPtr<IClassProvider>& provider) override;
    [[nodiscard]] OBJRESULT CheckExisting(const ClassEntry& entry) const override;

private:
    ObjectCreator m_creator;
};

class ProviderRequest final : public RegistrationRequest {
public:
    explicit ProviderRequest(IClassProvider* provider) : m_provider(provider) {}
    RegistrationKind Kind() const override { return RegistrationKind::Provider; }
    [[nodiscard]] OBJRESULT Prepare() override;
    [[nodiscard]] OBJRESULT MakeProvider(RefPtr<IClassProvider>& provider) override;
    [[nodiscard]] OBJRESULT CheckExisting(const ClassEntry& entry) const override;

private:
    IClassProvider* m_provider;
};

class ModuleRequest final : public RegistrationRequest {
public:
    ModuleRequest(const Guid& classId, std::u16string modulePath, uint32_t loadFlags,
                  uint32_t options)
        : m_classId(classId),
          m_modulePath(std::move(modulePath)),
          m_loadFlags(loadFlags),
          m_options(options) {}
    RegistrationKind Kind() const override { return RegistrationKind::Module; }
    [[nodiscard]] OBJRESULT Prepare() override;
    [[nodiscard]] OBJRESULT MakeProvider(RefPtr<IClassProvider>& provider) override;
    void Describe(ClassEntry& entry) const override { entry.modulePath = m_modulePath; }
    [[nodiscard]] OBJRESULT CheckExisting(const ClassEntry& entry) const override;

private:
    Guid m_classId;
    std::u16string m_modulePath;
    uint32_t m_loadFlags;
    uint32_t m_options;
};

}  // namespace pxLib
