// The exception boundaries of the tree. Each records what it stops on the
// trace channel with its kind, source and line (ExceptionRecord) and gives the
// caller the failure value of its own layer (E_UNEXPECTED, false, ...):
//
// - GuardedCall: an interface call; every exception stops here.
// - GuardedAllocation: an operation whose only expected failures are running
//   out of memory (std::bad_alloc) and a failed HRESULT thrown as
//   CAtlException; anything else is a fault and passes on.
//
// OnBadAlloc and CompletesWithMemory are the quiet forms of the second for a
// step inside a function: an allocation failure gives a value, nothing is
// recorded.
#pragma once

#include "support/logging/AtlException.h"
#include "support/logging/ExceptionRecord.h"

#include <new>
#include <utility>

namespace pxLib {

template <class Result, class Operation>
[[nodiscard]] Result GuardedCall(const char16_t* source, uint32_t line, Result onException,
                                 Operation&& operation) noexcept {
    ExceptionRecord record;
    try {
        return std::forward<Operation>(operation)();
    } catch (...) {
        record.Capture(source, line);
    }
    return onException;
}

template <class Result, class Operation>
[[nodiscard]] Result GuardedAllocation(const char16_t* source, uint32_t line, Result onFailure,
                                       Operation&& operation) {
    ExceptionRecord record;
    try {
        return std::forward<Operation>(operation)();
    } catch (const std::bad_alloc&) {
        record.Capture(source, line);
    } catch (const CAtlException&) {
        record.Capture(source, line);
    }
    return onFailure;
}

// The result of operation, or onBadAlloc when it ran out of memory.
template <class Result, class Operation>
[[nodiscard]] Result OnBadAlloc(Result onBadAlloc, Operation&& operation) {
    try {
        return std::forward<Operation>(operation)();
    } catch (const std::bad_alloc&) {
        return onBadAlloc;
    }
}

// Runs operation (which returns nothing); false when it ran out of memory.
template <class Operation>
[[nodiscard]] bool CompletesWithMemory(Operation&& operation) {
    try {
        std::forward<Operation>(operation)();
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace pxLib
