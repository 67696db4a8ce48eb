// The host interface of QVDPlugin64.dll: everything a host needs to load the
// plug-in, create plug-in objects, run one install job and read its outcome.
// Hosts include this header alone; it depends on nothing but <windows.h>.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <stdint.h>

namespace Json {
class Value;
}

namespace qvd {

// ---------------------------------------------------------------------------
// Host object model: reference-counted objects with GUID-identified interfaces.
// Its result codes are not platform HRESULTs; success is tested by sign.
// ---------------------------------------------------------------------------
typedef int32_t OBJRESULT;

constexpr OBJRESULT OBJ_OK = 0x00010000;
constexpr OBJRESULT OBJ_E_NOINTERFACE = static_cast<OBJRESULT>(0x80010200u);
constexpr OBJRESULT OBJ_E_OUTOFMEMORY = static_cast<OBJRESULT>(0x80010201u);
constexpr OBJRESULT OBJ_E_INVALIDARG = static_cast<OBJRESULT>(0x80010203u);

[[nodiscard]] inline bool ObjSucceeded(OBJRESULT r) {
    return r >= 0;
}

// Every object answers the all-zero GUID with its base interface.
constexpr GUID IID_IObjectBase = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};

// The first three operations of every interface of the model.
struct IObjectBase {
    [[nodiscard]] virtual OBJRESULT QueryInterface(const GUID& iid, void** out) = 0;
    virtual int64_t AddRef() = 0;
    virtual int64_t Release() = 0;  // returns the new count
};

// The host's owner object, which tracks the modules that have live objects.
// Only its ninth and tenth operations are used by the plug-in; the slots
// between are the owner's own business and are never called here.
struct IObjectOwner : IObjectBase {
    [[nodiscard]] virtual OBJRESULT OwnerSlot4() = 0;
    [[nodiscard]] virtual OBJRESULT OwnerSlot5() = 0;
    [[nodiscard]] virtual OBJRESULT OwnerSlot6() = 0;
    [[nodiscard]] virtual OBJRESULT OwnerSlot7() = 0;
    [[nodiscard]] virtual OBJRESULT OwnerSlot8() = 0;
    [[nodiscard]] virtual OBJRESULT ObjectReleased(HINSTANCE module) = 0;  // slot 9
    [[nodiscard]] virtual OBJRESULT ObjectAttached(HINSTANCE module) = 0;  // slot 10
};

// ---------------------------------------------------------------------------
// Factory: GetFactory(&FACTORYID_QVDPlugin, &factory), then CreateInstance.
// ---------------------------------------------------------------------------
constexpr GUID FACTORYID_QVDPlugin = {
    0xC0239F12, 0x0DE7, 0x47DD, {0x8B, 0x89, 0xC1, 0x6B, 0x6A, 0x1B, 0x4B, 0x40}};

// IPluginFactory answers all three of these.
constexpr GUID IID_IObjectFactory = {0x00000001, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};
constexpr GUID IID_IPluginFactory = {
    0xAE9A53F3, 0xAF14, 0x4C9D, {0xA2, 0x6E, 0x77, 0xB5, 0xD2, 0x87, 0xA9, 0xCF}};

struct IPluginFactory : IObjectBase {
    // Both return 0 on success (not OBJ_OK): test by sign.
    [[nodiscard]] virtual OBJRESULT CreateInstance(const GUID& iid, void** out) = 0;
    [[nodiscard]] virtual OBJRESULT CreateInstanceWithOwner(const GUID& iid, void** out,
                                                            IObjectOwner* owner) = 0;
};

// ---------------------------------------------------------------------------
// The plug-in object and the host's sink.
// ---------------------------------------------------------------------------
// IQVDPlugin answers IID_IObjectBase and both of these.
constexpr GUID IID_IQVDPlugin = {
    0xB76508D8, 0xC247, 0x11DD, {0xAC, 0x29, 0x00, 0x17, 0xF2, 0x09, 0xDE, 0x16}};
constexpr GUID IID_IQVDPlugin2 = {
    0xE2C838C9, 0x9B56, 0x432C, {0xBA, 0x5A, 0xF8, 0x95, 0x7B, 0xCB, 0x28, 0x48}};

// Supplied by the host; called only from the plug-in's worker thread.
struct IQVDJobSink {
    // location: "qvd::plugin::QVDPluginImpl::run(<line>)"
    virtual void ReportError(int32_t code, const wchar_t* location) = 0;
    virtual void ReportStatus(int32_t status) = 0;
};

struct IQVDPlugin : IObjectBase {
    virtual uint32_t GetExitCode() = 0;  // 0x8000FFFF until an installer ended
    virtual uint32_t GetDetail() = 0;    // always 0
    [[nodiscard]] virtual HRESULT GetState(int32_t* state) = 0;
    // Signals the cancel event and joins the worker. Never call it from a sink call.
    [[nodiscard]] virtual HRESULT CancelAndWait() = 0;
    // job: NUL-terminated UTF-16 JSON text. Job outcomes never come back here.
    [[nodiscard]] virtual HRESULT Start(const wchar_t* job, IQVDJobSink* sink) = 0;
};

// Job states read through GetState.
constexpr int32_t QVD_STATE_CREATED = 0;
constexpr int32_t QVD_STATE_RUNNING = 2;
constexpr int32_t QVD_STATE_INSTALLED = 3;
constexpr int32_t QVD_STATE_REBOOTING = 4;             // the installer started a reboot
constexpr int32_t QVD_STATE_REBOOT_REQUIRED = 5;       // a reboot is required or still pending
constexpr int32_t QVD_STATE_NOT_INSTALLED = 6;         // cancelled, declined, or ended without
                                                       // the product
constexpr int32_t QVD_STATE_INSTALLER_UNREPORTED = 7;  // a known installer code, not reported
constexpr int32_t QVD_STATE_INSTALLER_REPORTED = 8;    // an installer code that was reported
constexpr int32_t QVD_STATE_INSTALLER_DECLINED = 10;   // the installer ended with 0x80047C10
constexpr int32_t QVD_STATE_FAILED = -1;               // no usable job, no process, unknown
                                                       // installer failure
constexpr int32_t QVD_STATE_LAUNCH_FAILED = -2;        // failed verifying or starting the
                                                       // installer
constexpr int32_t QVD_STATE_INSTALLER_FAILED = -3;     // installer code 0x80047D70..0x80047D73,
                                                       // reported

// Values passed to IQVDJobSink::ReportStatus.
constexpr int32_t QVD_STATUS_INSTALLER_STARTED = 4;
// waiting for an installer of the product that was already running, or for a staged update
constexpr int32_t QVD_STATUS_WAITING = 15;
// found installed after waiting (or once a staged update finished)
constexpr int32_t QVD_STATUS_INSTALLED_AFTER_WAIT = 16;
// found installed before anything was waited for; also sent, with state 5, when a staged
// update of this version waits for a restart
constexpr int32_t QVD_STATUS_ALREADY_INSTALLED = 17;
constexpr int32_t QVD_STATUS_DECLINED = 18;
constexpr int32_t QVD_STATUS_FAILED = -3;

// Codes passed to IQVDJobSink::ReportError besides the installer's own exit codes.
constexpr int32_t QVD_E_NO_INSTALLER = static_cast<int32_t>(0x80047F21u);
constexpr int32_t QVD_E_EXCEPTION = static_cast<int32_t>(0x80047F22u);
constexpr int32_t QVD_E_INSTALLER_FAILED = static_cast<int32_t>(0x80047F23u);
constexpr int32_t QVD_E_DECLINED = static_cast<int32_t>(0x80047F24u);
constexpr int32_t QVD_E_LAUNCH_FAILED = static_cast<int32_t>(0x80047F25u);

// ---------------------------------------------------------------------------
// COM: the class QVDPluginImplCOM and its two interfaces (note the slot order,
// which differs from IQVDPlugin).
// ---------------------------------------------------------------------------
constexpr CLSID CLSID_QVDPluginImplCOM = {
    0x9D8B7548, 0xC24A, 0x11DD, {0xA9, 0x1E, 0x00, 0x17, 0xF2, 0x09, 0xDE, 0x16}};

struct IQVDPluginCOM : IUnknown {  // IID_IQVDPlugin
    virtual ULONG STDMETHODCALLTYPE GetExitCode() = 0;
    virtual ULONG STDMETHODCALLTYPE GetDetail() = 0;
    [[nodiscard]] virtual HRESULT STDMETHODCALLTYPE GetState(LONG* state) = 0;
    // The job as a parsed jsoncpp value, for hosts that built it themselves.
    [[nodiscard]] virtual HRESULT STDMETHODCALLTYPE StartFromValue(const Json::Value& job,
                                                                   IQVDJobSink* sink) = 0;
    [[nodiscard]] virtual HRESULT STDMETHODCALLTYPE CancelAndWait() = 0;
};

struct IQVDPluginCOM2 : IQVDPluginCOM {  // IID_IQVDPlugin2
    [[nodiscard]] virtual HRESULT STDMETHODCALLTYPE Start(const wchar_t* job,
                                                          IQVDJobSink* sink) = 0;
};

}  // namespace qvd

// Exports of QVDPlugin64.dll (undecorated names).
extern "C" {
typedef qvd::OBJRESULT(WINAPI* PFN_QVDGetFactory)(const GUID* factoryId, void** factory);
typedef uint32_t(WINAPI* PFN_QVDGetObjectCount)();
}
