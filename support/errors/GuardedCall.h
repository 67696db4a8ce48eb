// The exception boundary of an interface call: exceptions stop here, are
// recorded on the trace channel with their kind, source and line, and the
// caller gets the failure value of its own layer (E_UNEXPECTED, false, ...).
#pragma once

#include "support/logging/ExceptionRecord.h"

#include <utility>

namespace pxLib {

template <class Result, class Operation>
Result GuardedCall(const char16_t* source, uint32_t line, Result onException,
                   Operation&& operation) noexcept {
    ExceptionRecord record;
    try {
        return std::forward<Operation>(operation)();
    } catch (...) {
        record.Capture(source, line);
    }
    return onException;
}

}  // namespace pxLib
