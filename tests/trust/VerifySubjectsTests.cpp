// The verifier's other subjects under Wine: processes, the parent process,
// modules in memory, objects, and registered classes.
#include "InProcessPlugin.h"
#include "ChildRun.h"
#include "TrustTestSupport.h"
#include "collections/factory/ModuleFactory.h"
#include "modules/TestObject.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

using pxLib::TrustLevel;
using pxLib::UniqueHandle;
using pxLib::ValidationError;

// A signed fake installer that runs until the test lets it end.
class RunningInstaller {
public:
    RunningInstaller(const TempDir& dir, const wchar_t* fixture, const std::wstring& name)
        : m_release(dir.file(name + L".release")) {
        const std::wstring path =
            PlaceInstaller(dir, fixture, name, {"wait_for_file=" + Narrow(m_release)});
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        std::wstring line = L"\"" + path + L"\"";
        if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &info)) {
            m_process.reset(info.hProcess);
            UniqueHandle thread(info.hThread);
            m_id = info.dwProcessId;
        }
    }
    ~RunningInstaller() {
        WriteFileUtf8(m_release, "end");
        if (m_process && WaitForSingleObject(m_process.get(), 30000) != WAIT_OBJECT_0)
            TerminateProcess(m_process.get(), 1);
    }
    DWORD id() const { return m_id; }

private:
    std::wstring m_release;
    UniqueHandle m_process;
    DWORD m_id = 0;
};

class VerifySubjects : public ::testing::Test {
protected:
    void SetUp() override { platform->version = kWindows7; }
    ScopedFakePlatform platform;
    pxLib::RefPtr<pxLib::CVerifyTrust> verifier = NewVerifier();
    TempDir dir;
};

TEST_F(VerifySubjects, ProcessesByTheirExecutables) {
    const RunningInstaller maker(dir, L"maker", L"maker-setup.exe");
    const RunningInstaller other(dir, L"other", L"other-setup.exe");
    ASSERT_NE(maker.id(), 0u);
    ASSERT_NE(other.id(), 0u);
    EXPECT_EQ(verifier->VerifyProcess(maker.id(), TrustLevel::SignedByMaker), T);
    EXPECT_EQ(verifier->VerifyProcess(other.id(), TrustLevel::SignedByMaker), N);
    EXPECT_EQ(verifier->VerifyProcess(other.id(), TrustLevel::SignedAny), T);
    // A process that is not there.
    EXPECT_EQ(verifier->VerifyProcess(0xFFFFFFF0u, TrustLevel::SignedAny),
              ValidationError::VT_ERROR);
    // This test program is not signed.
    EXPECT_EQ(verifier->VerifyProcess(GetCurrentProcessId(), TrustLevel::SignedAny), N);
}

TEST_F(VerifySubjects, TheCurrentProcessIsVerifiedUntilItPasses) {
    EXPECT_EQ(verifier->VerifyCurrentProcess(TrustLevel::SignedByMaker), N);
    // A disabled verifier says yes without looking; that is not remembered.
    verifier->SetEnabled(false);
    EXPECT_EQ(verifier->VerifyCurrentProcess(TrustLevel::SignedByMaker), T);
    verifier->SetEnabled(true);
    EXPECT_EQ(verifier->VerifyCurrentProcess(TrustLevel::SignedByMaker), N);
    EXPECT_EQ(NewVerifier()->VerifyCurrentProcess(TrustLevel::SignedByMaker), N);
}

// The child verifies its parent, a signed fake installer that started it.
uint32_t ParentCheck(const TempDir& dir, const wchar_t* parentFixture, TrustLevel level,
                     bool disabledFirst) {
    std::string child = "\"" + Narrow(WinePath(QVD_TEST_PARENT_CHECK_CHILD)) + "\" " +
                        std::to_string(pxLib::ToUInt(level));
    if (disabledFirst) child += " disabled-first";
    const std::wstring parent = PlaceInstaller(
        dir, parentFixture, std::wstring(parentFixture) + L"-parent.exe", {"run=" + child});
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring line = L"\"" + parent + L"\"";
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return 0;
    const UniqueHandle process(info.hProcess), thread(info.hThread);
    return WaitForChild(process.get());
}

TEST_F(VerifySubjects, TheParentProcess) {
    const uint32_t twice = 100 + 1;  // VT_TRUSTED both times
    EXPECT_EQ(ParentCheck(dir, L"maker", TrustLevel::SignedByMaker, false), twice);
    EXPECT_EQ(ParentCheck(dir, L"maker", TrustLevel::SignedByMaker, true), twice);
    EXPECT_EQ(ParentCheck(dir, L"other", TrustLevel::SignedByMaker, false), 300u + 3u);
    // The disabled answer did not mark the other publisher's parent as verified.
    EXPECT_EQ(ParentCheck(dir, L"other", TrustLevel::SignedByMaker, true), 300u + 3u);
    EXPECT_EQ(ParentCheck(dir, L"other", TrustLevel::SignedAny, false), twice);
}

// A test module loaded for the life of the object.
class LoadedModule {
public:
    explicit LoadedModule(const wchar_t* folder)
        : m_module(LoadLibraryW((ModulesDir(folder) + L"\\TestObject.dll").c_str())) {}
    HMODULE get() const { return m_module.get(); }
    const void* Export() const {
        return reinterpret_cast<const void*>(GetProcAddress(m_module.get(), "GetFactory"));
    }
    pxLib::RefPtr<pxLib::IRefObject> NewObject() const {
        const auto getFactory = reinterpret_cast<pxLib::ModuleGetFactoryFn>(Export());
        pxLib::RefPtr<pxLib::IModuleFactory> factory;
        pxLib::RefPtr<pxLib::IRefObject> object;
        if (getFactory &&
            pxLib::ObjSucceeded(getFactory(&qvdmodule::CLSID_TestObject, factory.put_void())))
            // The object, or none, is the answer.
            static_cast<void>(
                factory->CreateInstance(qvdmodule::IID_ITestObject, object.put_void()));
        return object;
    }

private:
    pxLib::UniqueLibrary m_module;
};

TEST_F(VerifySubjects, ModulesInMemoryAndTheObjectsTheyImplement) {
    const LoadedModule maker(L"objects\\maker");
    const LoadedModule other(L"objects\\other");
    ASSERT_TRUE(maker.get());
    ASSERT_TRUE(other.get());
    EXPECT_EQ(verifier->VerifyModuleAt(maker.Export(), TrustLevel::SignedByMaker), T);
    EXPECT_EQ(verifier->VerifyModuleAt(reinterpret_cast<uintptr_t>(maker.Export()),
                                       TrustLevel::SignedByMaker),
              T);
    EXPECT_EQ(verifier->VerifyModuleAt(other.Export(), TrustLevel::SignedByMaker), N);
    EXPECT_EQ(verifier->VerifyModuleAt(static_cast<const void*>(nullptr), TrustLevel::SignedAny),
              ValidationError::VT_ERROR);

    const auto makerObject = maker.NewObject();
    const auto otherObject = other.NewObject();
    ASSERT_TRUE(makerObject);
    ASSERT_TRUE(otherObject);
    EXPECT_EQ(verifier->VerifyModuleOfObject(makerObject.get(), TrustLevel::SignedByMaker), T);
    EXPECT_EQ(verifier->VerifyModuleOfObject(otherObject.get(), TrustLevel::SignedByMaker), N);
    EXPECT_EQ(verifier->VerifyModuleOfObject(nullptr, TrustLevel::SignedAny),
              ValidationError::VT_INVALID_ARG);
    // An object of this (unsigned) program.
    EXPECT_EQ(verifier->VerifyModuleOfObject(static_cast<pxLib::IVerifyTrust*>(verifier.get()),
                                             TrustLevel::SignedAny),
              N);
}

TEST_F(VerifySubjects, ClassesByTheirRegisteredServers) {
    const std::wstring classId = NewGuidText();
    pxLib::Guid id{};
    ASSERT_EQ(IIDFromString(classId.c_str(), reinterpret_cast<IID*>(&id)), S_OK);
    const std::wstring key = L"Software\\Classes\\CLSID\\" + classId;
    const ScopedRegistryKey registration(HKEY_LOCAL_MACHINE, key);

    // No server registered.
    EXPECT_EQ(verifier->VerifyClass(id, TrustLevel::SignedByMaker), ValidationError::VT_ERROR);
    {
        // A local server only.
        ScopedRegistryKey local(HKEY_LOCAL_MACHINE, key + L"\\LocalServer32");
        ASSERT_TRUE(local.SetString(nullptr, InstallerFixture(L"maker")));
        EXPECT_EQ(verifier->VerifyClass(id, TrustLevel::SignedByMaker), T);
        // The in-process server comes first.
        ScopedRegistryKey inproc(HKEY_LOCAL_MACHINE, key + L"\\InprocServer32");
        ASSERT_TRUE(inproc.SetString(nullptr, InstallerFixture(L"other")));
        EXPECT_EQ(verifier->VerifyClass(id, TrustLevel::SignedByMaker), N);
        // A value longer than its 520 bytes is not read; the local server is.
        ASSERT_TRUE(inproc.SetString(nullptr, std::wstring(300, L'x')));
        EXPECT_EQ(verifier->VerifyClass(id, TrustLevel::SignedByMaker), T);
    }
}

}  // namespace
}  // namespace qvdtest
