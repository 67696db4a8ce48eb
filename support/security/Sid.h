// Security identifiers held by value, so that no SID outlives the buffer it
// was read from.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <vector>

namespace ZOLT {

class SidValue {
public:
    SidValue() = default;
    // An authority and its sub-authorities; more than Windows allows gives an
    // empty value.
    SidValue(const SID_IDENTIFIER_AUTHORITY& authority,
             std::initializer_list<DWORD> subAuthorities);
    // A copy of sid; an invalid one gives an empty value.
    static SidValue CopyOf(PSID sid);

    // nullptr when empty.
    PSID Get() const;
    [[nodiscard]] bool Empty() const { return m_bytes.empty(); }
    // An empty or invalid SID on either side never compares equal.
    [[nodiscard]] bool Equals(PSID other) const;

private:
    // DWORDs keep the SID aligned as the security functions expect.
    std::vector<DWORD> m_bytes;
};

SidValue AdministratorsSid();  // S-1-5-32-544
SidValue LocalSystemSid();     // S-1-5-18

}  // namespace ZOLT
