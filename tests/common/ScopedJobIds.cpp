#include "ScopedJobIds.h"

#include "TestSupport.h"
#include "support/system/UniqueHandle.h"

namespace qvdtest {

const wchar_t kUserHalvexKey[] = L"Software\\Halvex";

namespace {

bool KeyExists(const wchar_t* path) {
    pxLib::UniqueRegKey key;
    return RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool KeyIsEmpty(const wchar_t* path) {
    pxLib::UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD subkeys = 0;
    DWORD values = 0;
    return RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                            &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

}  // namespace

std::wstring RestartMarkKey(const std::wstring& jobId) {
    return std::wstring(kUserHalvexKey) + L"\\QVDPlugin" + jobId;
}

ScopedJobIds::ScopedJobIds() : m_halvexExisted(KeyExists(kUserHalvexKey)) {}

ScopedJobIds::~ScopedJobIds() {
    for (const std::wstring& id : m_ids) {
        RegDeleteTreeW(HKEY_CURRENT_USER, RestartMarkKey(id).c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, RestartMarkKey(id).c_str());
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserHalvexKey, id.c_str());
    }
    if (!m_halvexExisted && KeyIsEmpty(kUserHalvexKey))
        RegDeleteKeyW(HKEY_CURRENT_USER, kUserHalvexKey);
}

std::wstring ScopedJobIds::New() {
    m_ids.push_back(L"qvdtest-" + NewGuidText());
    return m_ids.back();
}

std::string ScopedJobIds::NewMember() {
    // The id has nothing that JSON would escape.
    return "\"job_id\": \"" + Narrow(New()) + "\"";
}

}  // namespace qvdtest
