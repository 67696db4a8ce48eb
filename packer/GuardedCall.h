// The boundary of the packer classes' public calls.
#pragma once

#include "packer/PackerResult.h"
#include "support/logging/ExceptionRecord.h"

namespace ZOLT {

// Exceptions stop here: callers see E_UNEXPECTED and the trace channel the kind.
template <class Operation>
HRESULT GuardedCall(const char16_t* source, uint32_t line, Operation&& operation) {
    pxLib::CExceptionRecord record;
    try {
        return operation();
    } catch (...) {
        record.Capture(source, line);
    }
    return kHrUnexpected;
}

}  // namespace ZOLT
