// The shared library's object-model result codes as platform HRESULTs, for
// the verifier made through the process object factory.
#pragma once

#include <cstdint>

namespace pxLib {

constexpr int32_t kUntranslatedObjectResult = static_cast<int32_t>(0x80004005u);  // E_FAIL

// First match of the table; E_FAIL for a code it does not list.
int32_t TranslateObjectResult(int32_t objectResult);

}  // namespace pxLib
