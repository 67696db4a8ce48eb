// The failure the shared library throws for a failed HRESULT, in the manner of
// ATL's exception class (mingw has no ATL). Catch sites record it as
// "CAtlException" with the result formatted as "0x%08X".
#pragma once

#include <cstdint>

namespace pxLib {

class CAtlException {
public:
    explicit CAtlException(int32_t hr) : m_hr(hr) {}
    operator int32_t() const { return m_hr; }

    int32_t m_hr;
};

[[noreturn]] inline void AtlThrow(int32_t hr) {
    throw CAtlException(hr);
}

}  // namespace pxLib
