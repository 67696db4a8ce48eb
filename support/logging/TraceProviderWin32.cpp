#include "support/logging/TraceProvider.h"

#include "support/logging/TraceSystem.h"
#include "support/system/RegistryDword.h"
#include "support/system/UniqueHandle.h"

#include <evntrace.h>

namespace pxLib {
namespace {

const wchar_t kGlobalLoggerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Wmi\\GlobalLogger";
const char16_t kGlobalLoggerSession[] = u"GlobalLogger";

// The module's control list: its one block once start-up has listed it.
// Start-up and shut-down run under the loader lock, one at a time.
TraceControlBlock* g_controlList[1] = {};
size_t g_listedBlocks = 0;

// A listening session is published handle first and flags last, and withdrawn
// in the opposite order, so a trace point that sees flag bit 0 has a handle.
void Enable(TraceControlBlock& block, uint64_t logger, uint8_t level, uint32_t flags) {
    block.loggerHandle.store(logger);
    block.level.store(level);
    block.flags.store(flags);
}

void Disable(TraceControlBlock& block) {
    block.flags.store(0);
    block.level.store(0);
    block.loggerHandle.store(0);
}

}  // namespace

namespace detail {

std::wstring FormatGuidLowerCase(const GUID& g) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text;
    const auto hex = [&](uint64_t value, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
            text.push_back(kDigits[(value >> shift) & 0xF]);
    };
    hex(g.Data1, 8);
    text.push_back(L'-');
    hex(g.Data2, 4);
    text.push_back(L'-');
    hex(g.Data3, 4);
    text.push_back(L'-');
    for (int i = 0; i < 8; ++i) {
        if (i == 2) text.push_back(L'-');
        hex(g.Data4[i], 2);
    }
    return text;
}

ULONG WINAPI TraceControlCallback(WMIDPREQUESTCODE requestCode, PVOID context, ULONG*,
                                  PVOID buffer) {
    auto* block = static_cast<TraceControlBlock*>(context);
    if (!block) return ERROR_INVALID_PARAMETER;
    ITraceSystem& system = CurrentTraceSystem();
    switch (requestCode) {
        case WMI_ENABLE_EVENTS: {
            const uint64_t logger = system.LoggerHandle(buffer);
            Enable(*block, logger, system.EnableLevel(logger), system.EnableFlags(logger));
            return ERROR_SUCCESS;
        }
        case WMI_DISABLE_EVENTS:
            Disable(*block);
            return ERROR_SUCCESS;
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

void QueryGlobalLogger(TraceControlBlock& block, const std::wstring& keyPath) {
    UniqueRegKey globalLogger;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, globalLogger.put()) !=
        ERROR_SUCCESS)
        return;
    uint32_t start = 0;
    if (!ReadRegistryDword(globalLogger.get(), L"Start", start) || start == 0) return;

    uint32_t flags = 0;
    uint32_t level = 0;
    UniqueRegKey provider;
    if (RegOpenKeyExW(globalLogger.get(), FormatGuidLowerCase(kTraceControlGuid).c_str(), 0,
                      KEY_READ, provider.put()) == ERROR_SUCCESS) {
        ReadOptionalRegistryDword(provider.get(), L"Flags", flags);
        ReadOptionalRegistryDword(provider.get(), L"Level", level);
    }
    if (start != 1) return;

    uint64_t session = 0;
    const uint32_t result = CurrentTraceSystem().QuerySession(kGlobalLoggerSession, session);
    if ((result == ERROR_SUCCESS || result == ERROR_MORE_DATA) && session != 0)
        Enable(block, session, static_cast<uint8_t>(level), flags & 0x7FFFFFFFu);
}

}  // namespace detail

bool RegisterTraceProvider(HINSTANCE) {
    TraceControlBlock& block = ModuleTraceControl();
    Disable(block);
    block.level.store(1);
    g_controlList[0] = &block;
    g_listedBlocks = 1;
    block.listed.store(true);

    bool registered = true;
    for (size_t i = 0; i < g_listedBlocks; ++i) {
        TraceControlBlock& listed = *g_controlList[i];
        TRACE_GUID_REGISTRATION traceGuid{&kTraceControlGuid, nullptr};
        TRACEHANDLE registration = 0;
        if (RegisterTraceGuidsW(detail::TraceControlCallback, &listed, &kTraceControlGuid, 1,
                                &traceGuid, nullptr, nullptr, &registration) == ERROR_SUCCESS) {
            listed.registrationHandle.store(registration);
        } else {
            registered = false;
        }
        if (listed.loggerHandle.load() == 0) detail::QueryGlobalLogger(listed, kGlobalLoggerKey);
    }
    return registered;
}

void UnregisterTraceProviders() {
    for (size_t i = 0; i < g_listedBlocks; ++i) g_controlList[i]->listed.store(false);
    for (size_t i = 0; i < g_listedBlocks; ++i) {
        TraceControlBlock& block = *g_controlList[i];
        const uint64_t registration = block.registrationHandle.exchange(0);
        if (registration != 0) UnregisterTraceGuids(registration);
        Disable(block);
        g_controlList[i] = nullptr;
    }
    g_listedBlocks = 0;
}

}  // namespace pxLib
