#include "support/registry/RegistryTree.h"

#include "support/system/UniqueHandle.h"

namespace pxLib {
namespace {

// Key names have at most 255 characters; the registry nests at most 512 deep.
constexpr DWORD kMaxKeyNameChars = 256;
constexpr int kMaxDepth = 512;

LONG DeleteTree(HKEY parent, const wchar_t* name, REGSAM view, int depth) {
    if (depth > kMaxDepth) return ERROR_INVALID_PARAMETER;
    UniqueRegKey key;
    LONG rc = RegOpenKeyExW(parent, name, 0,
                            KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE | view, key.put());
    if (rc != ERROR_SUCCESS) return rc;
    // Always take index 0: each deletion shifts the remaining subkeys down.
    for (;;) {
        wchar_t child[kMaxKeyNameChars];
        DWORD length = kMaxKeyNameChars;
        rc = RegEnumKeyExW(key.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) return rc;
        rc = DeleteTree(key.get(), child, view, depth + 1);
        if (rc != ERROR_SUCCESS) return rc;
    }
    key.reset();
    return RegDeleteKeyExW(parent, name, view, 0);
}

}  // namespace

LONG DeleteKeyTreeInView(HKEY parent, const wchar_t* name, REGSAM view) {
    return DeleteTree(parent, name ? name : L"", view & (KEY_WOW64_64KEY | KEY_WOW64_32KEY), 0);
}

}  // namespace pxLib
