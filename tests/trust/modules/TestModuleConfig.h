// Where the test settings module and the test verdict provider read what
// they serve: keys under HKEY_CURRENT_USER that the tests write.
#pragma once

namespace qvdmodule {

// Beneath it, the store's keys by their paths ("Plexor\OBJID\{...}").
constexpr wchar_t kSettingsStoreKey[] = L"Software\\QvdTests\\SettingsStore";
// DWORD values "AttributeType" (default 1) and "AttributeFlags" (default 3),
// and the subkey "Verdicts": one DWORD "vtresult" per file name.
constexpr wchar_t kVerdictProviderKey[] = L"Software\\QvdTests\\VerdictProvider";
constexpr wchar_t kVerdictsSubKey[] = L"Verdicts";

}  // namespace qvdmodule
