#include "PluginDriver.h"

#include "ConsoleSink.h"
#include "VersionResource.h"
#include "QVDHostInterface.h"
#include "support/system/ComPtr.h"

#include <objbase.h>

namespace qvdhost {
namespace {

std::wstring Hex(long value) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(value));
    return text;
}

// Polls the state until it leaves 2, or cancels once the time is up.
template <class Plugin, class StateType>
void WaitForJob(Plugin* plugin, long cancelAfterMs, StateType& state, HostReport& report) {
    const ULONGLONG start = GetTickCount64();
    int32_t last = 2;
    report.State(2);
    for (;;) {
        // GetState fails only for a null pointer.
        static_cast<void>(plugin->GetState(&state));
        if (static_cast<int32_t>(state) != last) {
            last = static_cast<int32_t>(state);
            report.State(last);
        }
        if (last != 2) return;
        if (cancelAfterMs >= 0 &&
            GetTickCount64() - start >= static_cast<ULONGLONG>(cancelAfterMs)) {
            report.Note(L"CancelAndWait() after %ld ms", cancelAfterMs);
            const HRESULT hr = plugin->CancelAndWait();
            report.Note(L"CancelAndWait returned %ls", Hex(hr).c_str());
            static_cast<void>(plugin->GetState(&state));
            report.State(static_cast<int32_t>(state));
            return;
        }
        Sleep(20);
    }
}

bool RunHostModel(HMODULE module, const HostOptions& options, const std::wstring& job,
                  JobOutcome& outcome, HostReport& report, std::wstring& error) {
    const auto getFactory = reinterpret_cast<PFN_QVDGetFactory>(
        reinterpret_cast<void*>(GetProcAddress(module, "GetFactory")));
    const auto getObjectCount = reinterpret_cast<PFN_QVDGetObjectCount>(
        reinterpret_cast<void*>(GetProcAddress(module, "GetObjectCount")));
    if (!getFactory || !getObjectCount) {
        error = L"the DLL does not export GetFactory and GetObjectCount";
        return false;
    }
    pxLib::ComPtr<qvd::IPluginFactory> factory;
    qvd::OBJRESULT r = getFactory(&qvd::FACTORYID_QVDPlugin, factory.put_void());
    if (r < 0) {
        error = L"GetFactory failed with " + Hex(r);
        return false;
    }
    pxLib::ComPtr<qvd::IQVDPlugin> plugin;
    r = factory->CreateInstance(qvd::IID_IQVDPlugin2, plugin.put_void());
    factory.reset();
    if (r < 0) {
        error = L"CreateInstance failed with " + Hex(r);
        return false;
    }
    report.Note(L"plug-in object created (live objects: %u)", getObjectCount());

    ConsoleSink sink(report);
    report.Starting();
    const HRESULT started = plugin->Start(job.c_str(), &sink);
    report.Note(L"Start returned %ls", Hex(started).c_str());
    if (FAILED(started)) {
        error = L"Start failed";
        return false;
    }
    int32_t state = 0;
    WaitForJob(plugin.get(), options.cancelAfterMs, state, report);
    outcome.state = state;
    outcome.exitCode = plugin->GetExitCode();
    plugin.reset();
    report.Note(L"plug-in object released (live objects: %u)", getObjectCount());
    return true;
}

bool RunCom(HMODULE module, const HostOptions& options, const std::wstring& job,
            JobOutcome& outcome, HostReport& report, std::wstring& error) {
    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    using CanUnloadNowFn = HRESULT(WINAPI*)();
    const auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    const auto canUnloadNow = reinterpret_cast<CanUnloadNowFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    if (!getClassObject || !canUnloadNow) {
        error = L"the DLL does not export DllGetClassObject and DllCanUnloadNow";
        return false;
    }
    pxLib::ComPtr<IClassFactory> classObject;
    HRESULT hr =
        getClassObject(qvd::CLSID_QVDPluginImplCOM, IID_IClassFactory, classObject.put_void());
    if (FAILED(hr)) {
        error = L"DllGetClassObject failed with " + Hex(hr);
        return false;
    }
    pxLib::ComPtr<qvd::IQVDPluginCOM2> plugin;
    hr = classObject->CreateInstance(nullptr, qvd::IID_IQVDPlugin2, plugin.put_void());
    classObject.reset();
    if (FAILED(hr)) {
        error = L"CreateInstance failed with " + Hex(hr);
        return false;
    }
    report.Note(L"COM object created (DllCanUnloadNow: %ls)", Hex(canUnloadNow()).c_str());

    ConsoleSink sink(report);
    report.Starting();
    hr = plugin->Start(job.c_str(), &sink);
    report.Note(L"Start returned %ls", Hex(hr).c_str());
    if (FAILED(hr)) {
        error = L"Start failed";
        return false;
    }
    LONG state = 0;
    WaitForJob(plugin.get(), options.cancelAfterMs, state, report);
    outcome.state = state;
    outcome.exitCode = plugin->GetExitCode();
    plugin.reset();
    report.Note(L"COM object released (DllCanUnloadNow: %ls)", Hex(canUnloadNow()).c_str());
    return true;
}

// The DLL introduces itself: which file was loaded and which build it is.
void ReportModuleVersion(HMODULE module, HostReport& report) {
    std::wstring path;
    if (!ModulePath(module, path)) return;
    VersionResource version;
    if (!version.Load(path)) {
        report.Note(L"loaded %ls, which has no version resource", path.c_str());
        return;
    }
    std::wstring about = version.String(L"FileDescription");
    const std::wstring company = version.String(L"CompanyName");
    if (!company.empty()) about += (about.empty() ? L"" : L", ") + company;
    report.Loaded(path, version.FileVersion(), about);
}

}  // namespace

bool RunJob(const HostOptions& options, const std::wstring& job, JobOutcome& outcome,
            HostReport& report, std::wstring& error) {
    HMODULE module = LoadLibraryW(options.pluginPath.c_str());
    if (!module) {
        error = L"cannot load " + options.pluginPath + L" (error " +
                std::to_wstring(GetLastError()) + L")";
        return false;
    }
    ReportModuleVersion(module, report);
    bool ran;
    if (options.useCom) {
        const pxLib::ComApartment apartment(COINIT_APARTMENTTHREADED);
        ran = RunCom(module, options, job, outcome, report, error);
    } else {
        ran = RunHostModel(module, options, job, outcome, report, error);
    }
    // The plug-in's worker may still be returning after its final state: the
    // module stays loaded until this process ends.
    return ran;
}

}  // namespace qvdhost
