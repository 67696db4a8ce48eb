// Counting wrappers put into a loaded module's import address table: each call
// of a hooked function is counted per call site, and one chosen call (or every
// call from it on) fails the way the function documents its failures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qvdfault {

enum class FaultMode : uint8_t {
    Transient,   // only the chosen call fails
    Persistent,  // the chosen call and every later call of the function fail
};

// A deliberate defect of the injector, so that each verdict is seen to fire.
enum class InjectorDefect : uint8_t {
    None,
    Crash,         // the failing call faults instead
    Hang,          // the failing call never returns
    SuccessValue,  // the failing call returns its success value without doing the work
    Leak,          // the failing call leaves a handle of its own open
    StayFailing,   // the fault is never switched off
};

// What a failing call of one function returns and leaves as last error.
struct FailureSpec {
    uint64_t value;   // the return value's bits
    DWORD lastError;  // kNoLastError: the function sets none
    int errnoValue;   // C runtime functions: errno as they leave it, else 0
};
constexpr DWORD kNoLastError = 0xFFFFFFFF;

// One call site of one function, as a module-relative return address.
struct CallSite {
    std::string function;
    uint32_t rva = 0;
    uint64_t calls = 0;
};

// One import of the module that is not hooked, and why.
struct SkippedImport {
    std::string module;
    std::string function;
    std::string reason;
};

// Patches every hooked import of module; returns the imports left alone.
// False when an import slot could not be written.
bool HookImports(HMODULE module, std::vector<SkippedImport>& skipped);

// The names of every function the injector can hook.
std::vector<std::string> HookedFunctionNames();

// Counting only, from now on; clears the counts.
void ResetCounts();
std::vector<CallSite> CountedSites();

// Arms the fault: call number nth (1-based) of function made from the call
// site at rva (0: from any site). False for a function that is not hooked.
bool ArmFault(const std::string& function, uint32_t rva, uint64_t nth, FaultMode mode,
              InjectorDefect defect);
// Ends the fault (unless the defect keeps it); counts start again.
void DisarmFault();
// True once the armed call was reached and failed.
bool FaultFired();

}  // namespace qvdfault
