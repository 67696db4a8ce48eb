#include "FaultHooks.h"

#include "support/system/UniqueHandle.h"

#include <ntsecapi.h>
#include <objbase.h>
#include <oleauto.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <softpub.h>
#include <tlhelp32.h>
#include <userenv.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>
#include <psapi.h>
#include <evntrace.h>
#include <aclapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <io.h>
#include <map>
#include <process.h>
#include <sys/stat.h>
#include <type_traits>
#include <utility>

namespace qvdfault {
namespace {

struct HookEntry {
    const char* name;
    void* wrapper;
    FailureSpec failure;
    void* real;
};

// The counts and the armed fault, shared by every wrapper.
struct FaultState {
    SRWLOCK lock = SRWLOCK_INIT;
    uintptr_t moduleBase = 0;
    uintptr_t moduleEnd = 0;
    std::map<std::pair<size_t, uint32_t>, uint64_t> siteCalls;
    std::map<size_t, uint64_t> functionCalls;
    bool armed = false;
    size_t function = 0;
    uint32_t rva = 0;
    uint64_t nth = 0;
    FaultMode mode = FaultMode::Transient;
    InjectorDefect defect = InjectorDefect::None;
    bool fired = false;
};

FaultState& State() {
    static FaultState state;
    return state;
}

HookEntry* Entries();

// Counts the call; true when it is to fail.
bool CountAndDecide(size_t index, void* returnAddress) {
    FaultState& s = State();
    const auto address = reinterpret_cast<uintptr_t>(returnAddress);
    const uint32_t rva = address >= s.moduleBase && address < s.moduleEnd
                             ? static_cast<uint32_t>(address - s.moduleBase)
                             : 0;
    AcquireSRWLockExclusive(&s.lock);
    bool fail = false;
    try {
        const uint64_t atSite = ++s.siteCalls[{index, rva}];
        const uint64_t total = ++s.functionCalls[index];
        if (s.armed && s.function == index) {
            if (s.fired && s.mode == FaultMode::Persistent) {
                fail = true;
            } else if (!s.fired) {
                fail = s.rva == 0 ? total == s.nth : (s.rva == rva && atSite == s.nth);
                s.fired = fail;
            }
        }
    } catch (...) {
        // The host ran out of memory counting: this call goes through uncounted.
    }
    ReleaseSRWLockExclusive(&s.lock);
    return fail;
}

template <class R>
R FromBits(uint64_t bits) {
    if constexpr (std::is_pointer_v<R>)
        return reinterpret_cast<R>(static_cast<uintptr_t>(bits));
    else
        return static_cast<R>(bits);
}

// Applies the injector's defect; true when the call is to return its
// success value instead of failing.
bool ApplyDefect() {
    switch (State().defect) {
        case InjectorDefect::Crash:
            *static_cast<volatile int*>(nullptr) = 0;
            break;
        case InjectorDefect::Hang:
            Sleep(INFINITE);
            break;
        case InjectorDefect::Leak:
            static_cast<void>(
                pxLib::UniqueHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr)).release());
            break;
        case InjectorDefect::SuccessValue:
            return true;
        case InjectorDefect::None:
        case InjectorDefect::StayFailing:
            break;
    }
    return false;
}

template <class R>
R FailedCall(size_t index) {
    const FailureSpec& failure = Entries()[index].failure;
    if (ApplyDefect()) return FromBits<R>(failure.value == 0 ? 1 : 0);
    if (failure.errnoValue != 0) errno = failure.errnoValue;
    if (failure.lastError != kNoLastError) SetLastError(failure.lastError);
    return FromBits<R>(failure.value);
}

// What a failing call leaves in its out-parameters, beyond its return value.
struct LeavesNothing {
    template <class... A>
    static void Apply(A...) {}
};
// COM: a failing call leaves the interface out-parameter null.
struct NullsFifthPointer {
    template <class A1, class A2, class A3, class A4>
    static void Apply(A1, A2, A3, A4, void** out) {
        if (out) *out = nullptr;
    }
};
// The name functions return 1 and leave an empty string.
struct EmptiesNameString {
    static void Apply(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR text, DWORD chars) {
        if (text && chars) text[0] = L'\0';
    }
    static void Apply(DWORD, PCERT_NAME_BLOB, DWORD, LPWSTR text, DWORD chars) {
        if (text && chars) text[0] = L'\0';
    }
};

template <size_t Index, class Fn, class Out>
struct Wrapper;
template <size_t Index, class R, class... A, class Out>
struct Wrapper<Index, R (*)(A...), Out> {
    static R Call(A... args) {
        if (CountAndDecide(Index, __builtin_return_address(0))) {
            Out::Apply(args...);
            return FailedCall<R>(Index);
        }
        return reinterpret_cast<R (*)(A...)>(Entries()[Index].real)(args...);
    }
};

constexpr uint64_t kInvalidBits = ~uint64_t{0};
constexpr int kBase = __COUNTER__ + 1;

#define QVD_HOOK_OUT(fn, value, error, errnoValue, Out)                                           \
    HookEntry {                                                                                   \
#fn, reinterpret_cast < void*>(&Wrapper <__COUNTER__ - kBase, decltype(&fn), Out>::Call), \
            {static_cast < uint64_t>(value), static_cast < DWORD>(error), errnoValue }, nullptr   \
    }
#define QVD_HOOK(fn, value, error) QVD_HOOK_OUT(fn, value, error, 0, LeavesNothing)
#define QVD_HOOK_CRT(fn, value, errnoValue) \
    QVD_HOOK_OUT(fn, value, kNoLastError, errnoValue, LeavesNothing)

// Every import whose failure a caller can meet, with the failure it documents.
// The headers' attributes (dllimport, malloc, nothrow) have no part in a
// wrapper's type, and are dropped from it on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
HookEntry g_entries[] = {
    // kernel32: handles, files, processes, threads, memory, modules
    QVD_HOOK(CreateEventA, 0, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(CreateEventW, 0, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(CreateFileW, kInvalidBits, ERROR_ACCESS_DENIED),
    QVD_HOOK(CreateProcessW, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(CreateSemaphoreA, 0, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(CreateToolhelp32Snapshot, kInvalidBits, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(CreateWaitableTimerA, 0, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(DeleteFileW, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(DuplicateHandle, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(ExpandEnvironmentStringsW, 0, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(FlushFileBuffers, FALSE, ERROR_WRITE_FAULT),
    QVD_HOOK(FormatMessageA, 0, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(FormatMessageW, 0, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(GetExitCodeProcess, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(GetFileAttributesW, INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED),
    QVD_HOOK(GetFileSizeEx, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(GetFinalPathNameByHandleW, 0, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(GetHandleInformation, FALSE, ERROR_INVALID_HANDLE),
    QVD_HOOK(GetLogicalProcessorInformation, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(GetLongPathNameW, 0, ERROR_ACCESS_DENIED),
    QVD_HOOK(GetModuleFileNameW, 0, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(GetModuleHandleA, 0, ERROR_MOD_NOT_FOUND),
    QVD_HOOK(GetModuleHandleExW, FALSE, ERROR_MOD_NOT_FOUND),
    QVD_HOOK(GetModuleHandleW, 0, ERROR_MOD_NOT_FOUND),
    QVD_HOOK(GetProcAddress, 0, ERROR_PROC_NOT_FOUND),
    QVD_HOOK(GetProcessAffinityMask, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(GetSystemDirectoryW, 0, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(GetThreadContext, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(HeapAlloc, 0, kNoLastError),
    QVD_HOOK(K32GetModuleFileNameExW, 0, ERROR_ACCESS_DENIED),
    QVD_HOOK(LoadLibraryExW, 0, ERROR_MOD_NOT_FOUND),
    QVD_HOOK(LoadLibraryW, 0, ERROR_MOD_NOT_FOUND),
    QVD_HOOK(LocalAlloc, 0, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(MoveFileExW, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(MultiByteToWideChar, 0, ERROR_NO_UNICODE_TRANSLATION),
    QVD_HOOK(WideCharToMultiByte, 0, ERROR_NO_UNICODE_TRANSLATION),
    QVD_HOOK(InitOnceExecuteOnce, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(OpenEventA, 0, ERROR_FILE_NOT_FOUND),
    QVD_HOOK(OpenProcess, 0, ERROR_ACCESS_DENIED),
    QVD_HOOK(Process32FirstW, FALSE, ERROR_NO_MORE_FILES),
    QVD_HOOK(Process32NextW, FALSE, ERROR_NO_MORE_FILES),
    QVD_HOOK(QueryDosDeviceW, 0, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(ReadFile, FALSE, ERROR_READ_FAULT),
    QVD_HOOK(ResumeThread, 0xFFFFFFFFu, ERROR_ACCESS_DENIED),
    QVD_HOOK(SetDllDirectoryW, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(SetEndOfFile, FALSE, ERROR_DISK_FULL),
    QVD_HOOK(SetFilePointerEx, FALSE, ERROR_NEGATIVE_SEEK),
    QVD_HOOK(SetProcessAffinityMask, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(SetThreadContext, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(SetThreadPriority, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(SetWaitableTimer, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(SuspendThread, 0xFFFFFFFFu, ERROR_ACCESS_DENIED),
    QVD_HOOK(TlsAlloc, TLS_OUT_OF_INDEXES, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(TlsSetValue, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(VirtualProtect, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(VirtualQuery, 0, ERROR_INVALID_PARAMETER),
    QVD_HOOK(WaitForMultipleObjects, WAIT_FAILED, ERROR_INVALID_HANDLE),
    QVD_HOOK(WaitForMultipleObjectsEx, WAIT_FAILED, ERROR_INVALID_HANDLE),
    QVD_HOOK(WaitForSingleObject, WAIT_FAILED, ERROR_INVALID_HANDLE),
    QVD_HOOK(WaitForSingleObjectEx, WAIT_FAILED, ERROR_INVALID_HANDLE),
    QVD_HOOK(WriteFile, FALSE, ERROR_DISK_FULL),
    QVD_HOOK(AddVectoredExceptionHandler, 0, ERROR_NOT_ENOUGH_MEMORY),
    // advapi32: security, tokens, registry, tracing
    QVD_HOOK(AddAccessAllowedAceEx, FALSE, ERROR_ALLOTTED_SPACE_EXCEEDED),
    QVD_HOOK(AddAccessDeniedAceEx, FALSE, ERROR_ALLOTTED_SPACE_EXCEEDED),
    QVD_HOOK(AddAce, FALSE, ERROR_ALLOTTED_SPACE_EXCEEDED),
    QVD_HOOK(AdjustTokenPrivileges, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(ControlTraceW, ERROR_ACCESS_DENIED, kNoLastError),
    QVD_HOOK(ConvertStringSecurityDescriptorToSecurityDescriptorW, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(CopySid, FALSE, ERROR_INSUFFICIENT_BUFFER),
    QVD_HOOK(CreateProcessAsUserW, FALSE, ERROR_PRIVILEGE_NOT_HELD),
    QVD_HOOK(DuplicateToken, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(DuplicateTokenEx, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(GetAce, FALSE, ERROR_INVALID_PARAMETER),
    QVD_HOOK(GetAclInformation, FALSE, ERROR_INVALID_PARAMETER),
    QVD_HOOK(GetSecurityDescriptorDacl, FALSE, ERROR_INVALID_SECURITY_DESCR),
    QVD_HOOK(GetSecurityInfo, ERROR_ACCESS_DENIED, kNoLastError),
    QVD_HOOK(GetTokenInformation, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(GetTraceEnableFlags, 0, ERROR_INVALID_HANDLE),
    QVD_HOOK(GetTraceEnableLevel, 0, ERROR_INVALID_HANDLE),
    QVD_HOOK(GetTraceLoggerHandle, kInvalidBits, ERROR_INVALID_PARAMETER),
    QVD_HOOK(InitializeAcl, FALSE, ERROR_INSUFFICIENT_BUFFER),
    QVD_HOOK(InitializeSid, FALSE, ERROR_INVALID_PARAMETER),
    QVD_HOOK(LookupPrivilegeValueW, FALSE, ERROR_NO_SUCH_PRIVILEGE),
    QVD_HOOK(OpenProcessToken, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(OpenThreadToken, FALSE, ERROR_ACCESS_DENIED),
    QVD_HOOK(RegCreateKeyExW, ERROR_ACCESS_DENIED, kNoLastError),
    QVD_HOOK(RegDeleteKeyExW, ERROR_ACCESS_DENIED, kNoLastError),
    QVD_HOOK(RegDeleteValueW, ERROR_ACCESS_DENIED, kNoLastError),
    QVD_HOOK(RegEnumKeyExW, ERROR_OUTOFMEMORY, kNoLastError),
    QVD_HOOK(RegEnumValueW, ERROR_OUTOFMEMORY, kNoLastError),
    QVD_HOOK(RegNotifyChangeKeyValue, ERROR_OUTOFMEMORY, kNoLastError),
    QVD_HOOK(RegOpenKeyExW, ERROR_ACCESS_DENIED, kNoLastError),
    QVD_HOOK(RegQueryInfoKeyW, ERROR_OUTOFMEMORY, kNoLastError),
    QVD_HOOK(RegQueryValueExW, ERROR_OUTOFMEMORY, kNoLastError),
    QVD_HOOK(RegSetValueExW, ERROR_ACCESS_DENIED, kNoLastError),
    QVD_HOOK(RegisterTraceGuidsW, ERROR_NOT_ENOUGH_MEMORY, kNoLastError),
    QVD_HOOK(SetNamedSecurityInfoW, ERROR_ACCESS_DENIED, kNoLastError),
    QVD_HOOK(SetSecurityInfo, ERROR_ACCESS_DENIED, kNoLastError),
    QVD_HOOK(SetTokenInformation, FALSE, ERROR_ACCESS_DENIED),
    // crypt32 and wintrust: signatures and catalogs
    QVD_HOOK(CertFindCertificateInStore, 0, CRYPT_E_NOT_FOUND),
    QVD_HOOK(CertGetEnhancedKeyUsage, FALSE, CRYPT_E_NOT_FOUND),
    QVD_HOOK_OUT(CertGetNameStringW, 1, kNoLastError, 0, EmptiesNameString),
    QVD_HOOK_OUT(CertNameToStrW, 1, kNoLastError, 0, EmptiesNameString),
    QVD_HOOK(CryptMsgGetParam, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(CryptQueryObject, FALSE, CRYPT_E_NO_MATCH),
    QVD_HOOK(CryptCATAdminAcquireContext, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(CryptCATAdminCalcHashFromFileHandle, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(CryptCATAdminEnumCatalogFromHash, 0, ERROR_NOT_FOUND),
    QVD_HOOK(CryptCATCatalogInfoFromContext, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(WinVerifyTrust, TRUST_E_SYSTEM_ERROR, kNoLastError),
    // ole32, oleaut32, shell32, shlwapi, userenv
    QVD_HOOK_OUT(CoCreateInstance, E_OUTOFMEMORY, kNoLastError, 0, NullsFifthPointer),
    QVD_HOOK(CoInitializeEx, E_OUTOFMEMORY, kNoLastError),
    QVD_HOOK(IIDFromString, E_OUTOFMEMORY, kNoLastError),
    QVD_HOOK(SysAllocString, 0, kNoLastError),
    QVD_HOOK(VariantChangeType, E_OUTOFMEMORY, kNoLastError),
    QVD_HOOK(SHCreateDirectoryExW, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED),
    QVD_HOOK(SHGetFolderPathW, E_FAIL, kNoLastError),
    QVD_HOOK(SHGetSpecialFolderPathW, FALSE, kNoLastError),
    QVD_HOOK(ShellExecuteExW, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    QVD_HOOK(PathAppendW, FALSE, kNoLastError),
    QVD_HOOK(SHDeleteEmptyKeyW, ERROR_ACCESS_DENIED, kNoLastError),
    QVD_HOOK(SHDeleteKeyW, ERROR_ACCESS_DENIED, kNoLastError),
    QVD_HOOK(CreateEnvironmentBlock, FALSE, ERROR_NOT_ENOUGH_MEMORY),
    // the C runtime (operator new reaches malloc)
    QVD_HOOK_CRT(malloc, 0, ENOMEM),
    QVD_HOOK_CRT(calloc, 0, ENOMEM),
    QVD_HOOK_CRT(realloc, 0, ENOMEM),
    QVD_HOOK_CRT(_strdup, 0, ENOMEM),
    QVD_HOOK_CRT(_beginthreadex, 0, EAGAIN),
    QVD_HOOK_CRT(_wfopen, 0, EACCES),
    QVD_HOOK_CRT(fopen, 0, EACCES),
    QVD_HOOK_CRT(_fdopen, 0, ENOMEM),
    QVD_HOOK_CRT(fread, 0, EIO),
    QVD_HOOK_CRT(fwrite, 0, ENOSPC),
    QVD_HOOK_CRT(fflush, EOF, ENOSPC),
    QVD_HOOK_CRT(fputs, EOF, ENOSPC),
    QVD_HOOK_CRT(fputc, EOF, ENOSPC),
    QVD_HOOK_CRT(_read, -1, EIO),
    QVD_HOOK_CRT(_write, -1, ENOSPC),
    QVD_HOOK_CRT(_lseeki64, -1, EINVAL),
    QVD_HOOK_CRT(_filelengthi64, -1, EBADF),
    QVD_HOOK_CRT(setvbuf, -1, ENOMEM),
    QVD_HOOK_CRT(setlocale, 0, ENOMEM),
};
#pragma GCC diagnostic pop
constexpr size_t kEntryCount = sizeof(g_entries) / sizeof(g_entries[0]);
static_assert(kEntryCount == __COUNTER__ - kBase, "a hook's index is its place in the table");

HookEntry* Entries() {
    return g_entries;
}

const HookEntry* FindEntry(const char* name, size_t* index = nullptr) {
    for (size_t i = 0; i < kEntryCount; ++i) {
        if (std::strcmp(g_entries[i].name, name) == 0) {
            if (index) *index = i;
            return &g_entries[i];
        }
    }
    return nullptr;
}

// Why an import is not hooked.
const char* SkipReason(const char* name) {
    static const struct {
        const char* reason;
        std::vector<const char*> names;
    } groups[] = {
        {"cannot fail",
         {"GetLastError",
          "SetLastError",
          "GetCurrentProcess",
          "GetCurrentProcessId",
          "GetCurrentThread",
          "GetCurrentThreadId",
          "GetCommandLineW",
          "GetProcessHeap",
          "GetSystemInfo",
          "GetLocalTime",
          "GetSystemTimeAsFileTime",
          "GetTickCount64",
          "QueryPerformanceCounter",
          "QueryPerformanceFrequency",
          "EncodePointer",
          "DecodePointer",
          "IsDebuggerPresent",
          "IsDBCSLeadByteEx",
          "lstrlenW",
          "GetLengthSid",
          "GetSidLengthRequired",
          "GetSidSubAuthority",
          "MapGenericMask",
          "SysStringLen",
          "VariantInit",
          "CharLowerBuffW",
          "InitializeCriticalSection",
          "EnterCriticalSection",
          "LeaveCriticalSection",
          "AcquireSRWLockExclusive",
          "AcquireSRWLockShared",
          "ReleaseSRWLockExclusive",
          "ReleaseSRWLockShared",
          "Sleep",
          "OutputDebugStringA",
          "OutputDebugStringW",
          "TlsGetValue",
          "GetThreadPriority",
          "memchr",
          "memcmp",
          "memcpy",
          "memmove",
          "memset",
          "strchr",
          "strcmp",
          "strcoll",
          "strlen",
          "strncmp",
          "strncpy",
          "strxfrm",
          "wcslen",
          "wcscoll",
          "wcsxfrm",
          "towlower",
          "towupper",
          "iswctype",
          "localeconv",
          "strerror",
          "_errno",
          "___lc_codepage_func",
          "___mb_cur_max_func",
          "__iob_func",
          "_fileno",
          "_lock",
          "_unlock",
          "_ultoa",
          "strftime",
          "wcsftime",
          "getc",
          "getwc",
          "ungetc",
          "ungetwc",
          "putc",
          "putwc",
          "fputwc",
          "fgetpos",
          "fsetpos",
          "_fstat64",
          "signal"}},
        {"an answer, not a failure (FALSE or not acquired is a result)",
         {"EqualSid", "IsValidSid", "TryEnterCriticalSection"}},
        {"fails only on the caller's error (a handle that is not open, a count above the "
         "maximum)",
         {"SetEvent", "ResetEvent", "ReleaseSemaphore", "DisableThreadLibraryCalls"}},
        {"releases: a failure that kept the resource would be a leak of the injector's making",
         {"CloseHandle",
          "RegCloseKey",
          "HeapFree",
          "LocalFree",
          "free",
          "FreeLibrary",
          "DeleteCriticalSection",
          "TlsFree",
          "CertCloseStore",
          "CertFreeCertificateContext",
          "CryptMsgClose",
          "CryptCATAdminReleaseCatalogContext",
          "CryptCATAdminReleaseContext",
          "SysFreeString",
          "VariantClear",
          "CoUninitialize",
          "DestroyEnvironmentBlock",
          "UnregisterTraceGuids",
          "RemoveVectoredExceptionHandler",
          "fclose",
          "_close",
          "_endthreadex"}},
        {"variadic: a wrapper cannot forward its arguments",
         {"TraceMessage", "printf", "fprintf", "fwprintf", "vfprintf", "swprintf_s"}},
        {"ends the process or unwinds the stack: nothing returns to fail",
         {"abort", "exit", "_amsg_exit", "_assert", "RaiseException", "longjmp", "_setjmp",
          "RtlCaptureContext", "RtlLookupFunctionEntry", "RtlUnwindEx", "RtlVirtualUnwind",
          "__C_specific_handler", "_initterm"}},
    };
    for (const auto& group : groups)
        for (const char* n : group.names)
            if (std::strcmp(n, name) == 0) return group.reason;
    return "not in the injector's table";
}

bool WriteSlot(void** slot, void* value) {
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old)) return false;
    *slot = value;
    DWORD ignored = 0;
    return VirtualProtect(slot, sizeof(*slot), old, &ignored) != FALSE;
}

}  // namespace

bool HookImports(HMODULE module, std::vector<SkippedImport>& skipped) {
    auto* base = reinterpret_cast<uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    State().moduleBase = reinterpret_cast<uintptr_t>(base);
    State().moduleEnd = State().moduleBase + nt->OptionalHeader.SizeOfImage;
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return true;
    bool allWritten = true;
    for (auto* descriptor =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         descriptor->Name != 0; ++descriptor) {
        const char* dll = reinterpret_cast<const char*>(base + descriptor->Name);
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA64*>(
            base + (descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk
                                                   : descriptor->FirstThunk));
        auto** slots = reinterpret_cast<void**>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL64(names->u1.Ordinal)) {
                skipped.push_back({dll, "#" + std::to_string(IMAGE_ORDINAL64(names->u1.Ordinal)),
                                   "imported by ordinal"});
                continue;
            }
            const char* name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
            size_t index = 0;
            if (!FindEntry(name, &index)) {
                skipped.push_back({dll, name, SkipReason(name)});
                continue;
            }
            g_entries[index].real = *slots;
            if (!WriteSlot(slots, g_entries[index].wrapper)) allWritten = false;
        }
    }
    return allWritten;
}

std::vector<std::string> HookedFunctionNames() {
    std::vector<std::string> names;
    for (const HookEntry& entry : g_entries) names.push_back(entry.name);
    return names;
}

void ResetCounts() {
    FaultState& s = State();
    AcquireSRWLockExclusive(&s.lock);
    s.siteCalls.clear();
    s.functionCalls.clear();
    ReleaseSRWLockExclusive(&s.lock);
}

std::vector<CallSite> CountedSites() {
    FaultState& s = State();
    std::vector<CallSite> sites;
    AcquireSRWLockShared(&s.lock);
    for (const auto& [key, calls] : s.siteCalls)
        sites.push_back({g_entries[key.first].name, key.second, calls});
    ReleaseSRWLockShared(&s.lock);
    return sites;
}

bool ArmFault(const std::string& function, uint32_t rva, uint64_t nth, FaultMode mode,
              InjectorDefect defect) {
    size_t index = 0;
    if (!FindEntry(function.c_str(), &index)) return false;
    FaultState& s = State();
    AcquireSRWLockExclusive(&s.lock);
    s.siteCalls.clear();
    s.functionCalls.clear();
    s.armed = true;
    s.function = index;
    s.rva = rva;
    s.nth = nth;
    s.mode = mode;
    s.defect = defect;
    s.fired = false;
    ReleaseSRWLockExclusive(&s.lock);
    return true;
}

void DisarmFault() {
    FaultState& s = State();
    AcquireSRWLockExclusive(&s.lock);
    s.siteCalls.clear();
    s.functionCalls.clear();
    if (s.defect == InjectorDefect::StayFailing) {
        // The defect: the fault goes on failing every call of the function.
        s.mode = FaultMode::Persistent;
        s.fired = true;
    } else {
        s.armed = false;
    }
    ReleaseSRWLockExclusive(&s.lock);
}

bool FaultFired() {
    FaultState& s = State();
    AcquireSRWLockShared(&s.lock);
    const bool fired = s.fired;
    ReleaseSRWLockShared(&s.lock);
    return fired;
}

}  // namespace qvdfault
