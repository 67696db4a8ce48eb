// One fault case in a process of its own, so that a crash or a hang shows as
// this process dying or not ending:
//   fault_host imports
//   fault_host count <scenario>
//   fault_host case <scenario> <function> <site rva, hex> <transient|persistent> [<defect>]
// Prints what it found, one line each, and ends with a "verdict" line.
#include "FaultHooks.h"
#include "FaultScenarios.h"
#include "support/system/UniqueHandle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace qvdfault {
namespace {

// The factory, once made, lives as long as the process: one object stays.
constexpr uint32_t kFactoryStays = 1;

// Wine hands out the lowest free handle slot first (and reads 0 from
// GetProcessHandleCount): filling every free slot below the first long run of
// consecutive ones tells how many slots are in use.
size_t HandlesInUse() {
    constexpr size_t kTailRun = 32, kMaxProbes = 8192;
    constexpr uintptr_t kSlotStep = 4;
    std::vector<pxLib::UniqueHandle> probes;
    uintptr_t runStart = 0, last = 0;
    size_t run = 0;
    while (run < kTailRun && probes.size() < kMaxProbes) {
        probes.emplace_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!probes.back()) break;
        const auto value = reinterpret_cast<uintptr_t>(probes.back().get());
        if (run != 0 && value == last + kSlotStep) {
            ++run;
        } else {
            run = 1;
            runStart = value;
        }
        last = value;
    }
    size_t holes = 0;
    for (const pxLib::UniqueHandle& probe : probes)
        if (reinterpret_cast<uintptr_t>(probe.get()) < runStart) ++holes;
    return runStart / kSlotStep - holes;
}

[[noreturn]] void EndWith(const char* verdict, const std::string& detail) {
    printf("verdict %s %s\n", verdict, detail.c_str());
    fflush(stdout);
    // A worker that hangs may hold locks an orderly exit would wait for.
    TerminateProcess(GetCurrentProcess(), 0);
    ExitProcess(0);
}

// A fault anywhere ends the process at once, with its code and where it was,
// instead of waiting for a debugger.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(record.ExceptionAddress), &module);
    printf("crashed 0x%08lX at %s+0x%llx\n", record.ExceptionCode,
           module == GetModuleHandleW(nullptr) ? "host" : "module",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(record.ExceptionAddress) -
                                           reinterpret_cast<uintptr_t>(module)));
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), record.ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

bool LoadAndHook(qvdtest::LoadedPlugin& dll, bool printSkipped) {
    if (!dll.module()) {
        printf("error the plug-in did not load\n");
        return false;
    }
    std::vector<SkippedImport> skipped;
    if (!HookImports(dll.module(), skipped)) {
        printf("error an import slot could not be written\n");
        return false;
    }
    if (printSkipped)
        for (const SkippedImport& s : skipped)
            printf("skipped %s %s: %s\n", s.module.c_str(), s.function.c_str(), s.reason.c_str());
    return true;
}

int Count(const ScenarioPlan& plan) {
    qvdtest::LoadedPlugin dll;
    if (!LoadAndHook(dll, false)) return 2;
    ResetCounts();
    const ScenarioRun run = RunScenario(plan, dll);
    const std::vector<CallSite> sites = CountedSites();
    if (!run.ended) EndWith("hang", "the clean run did not end");
    for (const CallSite& site : sites)
        printf("site %s %x %llu\n", site.function.c_str(), site.rva,
               static_cast<unsigned long long>(site.calls));
    const std::string notClean = NotClean(plan, run);
    if (!notClean.empty()) EndWith("not-clean", notClean);
    EndWith("ok", "");
}

InjectorDefect ParseDefect(const char* text) {
    const struct {
        const char* name;
        InjectorDefect defect;
    } defects[] = {{"crash", InjectorDefect::Crash},
                   {"hang", InjectorDefect::Hang},
                   {"success-value", InjectorDefect::SuccessValue},
                   {"leak", InjectorDefect::Leak},
                   {"stay-failing", InjectorDefect::StayFailing}};
    for (const auto& d : defects)
        if (std::strcmp(d.name, text) == 0) return d.defect;
    return InjectorDefect::None;
}

// The case twice, each time judged and followed by a clean run: handles the
// first round leaves are the ones a first use keeps; a second round that
// leaves more is a leak.
int Case(const ScenarioPlan& plan, const std::string& function, uint32_t rva, FaultMode mode,
         InjectorDefect defect) {
    qvdtest::LoadedPlugin dll;
    if (!LoadAndHook(dll, false)) return 2;
    size_t handlesAfterRound[2] = {};
    uint32_t objectsLeft = 0;
    for (int round = 0; round < 2; ++round) {
        if (!ArmFault(function, rva, 1, mode, defect)) EndWith("error", "unknown function");
        const ScenarioRun run = RunScenario(plan, dll);
        const bool fired = FaultFired();
        DisarmFault();
        if (!run.ended) EndWith("hang", "state 2 for 30 s");
        if (round == 0) printf("fired %s\n", fired ? "yes" : "no");
        const std::string falseSuccess = FalseSuccess(plan, run);
        if (!falseSuccess.empty()) EndWith("false-success", falseSuccess);
        const ScenarioRun clean = RunScenario(plan, dll);
        if (!clean.ended) EndWith("hang", "the clean run after the case: state 2 for 30 s");
        const std::string notClean = NotClean(plan, clean);
        if (!notClean.empty()) EndWith("no-recovery", notClean);
        objectsLeft = std::max({objectsLeft, run.objectsLeft, clean.objectsLeft});
        handlesAfterRound[round] = HandlesInUse();
    }
    if (objectsLeft > kFactoryStays)
        EndWith("leak", "objects left after Release: " + std::to_string(objectsLeft));
    if (handlesAfterRound[1] > handlesAfterRound[0])
        EndWith("leak", "handles in use: " + std::to_string(handlesAfterRound[0]) +
                            " after the "
                            "first round, " +
                            std::to_string(handlesAfterRound[1]) + " after the second");
    EndWith("ok", "");
}

int Imports() {
    qvdtest::LoadedPlugin dll;
    return LoadAndHook(dll, true) ? 0 : 2;
}

}  // namespace
}  // namespace qvdfault

int main(int argc, char** argv) {
    using namespace qvdfault;
    setvbuf(stdout, nullptr, _IONBF, 0);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ReportCrash);
    if (argc >= 2 && std::strcmp(argv[1], "imports") == 0) return Imports();
    const ScenarioPlan* plan = argc >= 3 ? FindScenario(argv[2]) : nullptr;
    if (plan && std::strcmp(argv[1], "count") == 0) return Count(*plan);
    if (plan && argc >= 6 && std::strcmp(argv[1], "case") == 0) {
        const auto rva = static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 16));
        const FaultMode mode =
            std::strcmp(argv[5], "persistent") == 0 ? FaultMode::Persistent : FaultMode::Transient;
        return Case(*plan, argv[3], rva, mode,
                    argc >= 7 ? ParseDefect(argv[6]) : InjectorDefect::None);
    }
    fprintf(stderr,
            "usage: fault_host imports | count <scenario> | case <scenario> <function> <rva> "
            "<transient|persistent> [defect]\n");
    return 2;
}
