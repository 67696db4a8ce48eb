// The packer's one-line form of "if it failed, log the fixed text and return":
//
//     ZOLT_RETURN_IF_FAILED_LOG(hr, u"...(434) : Failed to get position. HRESULT 0x%08x\n");
//
// The text's arguments follow it; the failed result is always the last one.
#pragma once

#include "packer/PackerResult.h"
#include "support/logging/Log.h"

#define ZOLT_RETURN_IF_FAILED_LOG(result, ...)             \
    do {                                                   \
        const ::ZOLT::HRESULT failedResult_ = (result);    \
        if (::ZOLT::Failed(failedResult_)) {               \
            ::pxLib::LogError(__VA_ARGS__, failedResult_); \
            return failedResult_;                          \
        }                                                  \
    } while (false)
