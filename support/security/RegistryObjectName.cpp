#include "support/security/RegistryObjectName.h"

#include "support/security/RightsChecker.h"

namespace ZOLT {
namespace {

struct RootName {
    HKEY root;
    const wchar_t* name;
};

}  // namespace

std::wstring RegistryObjectName(HKEY root, const std::wstring& path) {
    // Predefined keys are not constants, so the table is built at run time.
    const RootName table[] = {
        {HKEY_LOCAL_MACHINE, L"MACHINE"},
        {HKEY_CURRENT_USER, L"CURRENT_USER"},
        {HKEY_USERS, L"USERS"},
        {HKEY_CLASSES_ROOT, L"CLASSES_ROOT"},
    };
    for (const RootName& row : table)
        if (row.root == root) return std::wstring(row.name) + L"\\" + path;
    throw CRightsChecker::Exception(CRightsChecker::ErrorCode::UnknownRootKey);
}

}  // namespace ZOLT
