#include "DebugLogSwitch.h"

#include "Utf8Text.h"
#include "support/system/UniqueHandle.h"

#include <json/json.h>

#include <memory>

namespace qvdhost {
namespace {

constexpr wchar_t kProductRootPrefix[] = L"SOFTWARE\\Halvex\\";
constexpr const wchar_t* kOptionsBelowProduct[] = {L"Plexor", L"Debug", L"DebugOutput"};
// Every line, to the file only, one file whatever the process id, and no
// module filter that could leave the plug-in out.
constexpr struct {
    const wchar_t* name;
    DWORD value;
} kSwitchedOn[] = {
    {L"DebugType", 1},        {L"OutputToFile", 1},
    {L"OutputToDebugger", 0}, {L"AppendProcessIdToFile", 0},
    {L"ExclusiveModules", 0},
};
constexpr wchar_t kDirectory[] = L"Directory";
constexpr wchar_t kLogFileName[] = L"QVDPlugin.log";

// The plug-in reads the product's keys in the 64-bit view unless the
// product key is found in the 32-bit view only.
REGSAM ProductView(const std::wstring& productKey) {
    pxLib::UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, productKey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                      key.put()) == ERROR_SUCCESS)
        return KEY_WOW64_64KEY;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, productKey.c_str(), 0, KEY_READ | KEY_WOW64_32KEY,
                      key.put()) == ERROR_SUCCESS)
        return KEY_WOW64_32KEY;
    return KEY_WOW64_64KEY;
}

// A folder of its own under the temporary folder.
bool FreshFolder(std::wstring& folder) {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return false;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        folder = std::wstring(temp) + L"qvdhost-log-" + std::to_wstring(GetCurrentProcessId()) +
                 L"-" + std::to_wstring(GetTickCount64() + attempt);
        if (CreateDirectoryW(folder.c_str(), nullptr)) return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

std::wstring SystemMessage(const wchar_t* what, LONG code) {
    return std::wstring(what) + L" (error " + std::to_wstring(code) + L")";
}

}  // namespace

bool JobSilo(const std::wstring& jobText, std::wstring& silo) {
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    const std::string text = Utf8(jobText);
    Json::Value job;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &job, &errors) || !job.isObject())
        return false;
    const Json::Value& data = job["product_data"];
    if (!data.isObject() || !data["silo"].isString()) return false;
    silo = FromUtf8(data["silo"].asString());
    return !silo.empty();
}

bool DebugLogSwitch::Save(HKEY key, const wchar_t* name) {
    SavedValue saved;
    saved.name = name;
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, &saved.type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        saved.present = true;
        saved.data.resize(size);
        result = RegQueryValueExW(key, name, nullptr, &saved.type, saved.data.data(), &size);
        saved.data.resize(size);
    } else if (result == ERROR_FILE_NOT_FOUND) {
        result = ERROR_SUCCESS;
    }
    if (result != ERROR_SUCCESS) return false;
    m_saved.push_back(std::move(saved));
    return true;
}

bool DebugLogSwitch::SwitchOn(const std::wstring& silo, std::wstring& logFile,
                              std::wstring& error) {
    const std::wstring productKey = kProductRootPrefix + silo;
    m_view = ProductView(productKey);
    // Each level opened or made in turn, so that those made here can go again.
    std::wstring path = kProductRootPrefix;
    path.pop_back();
    pxLib::UniqueRegKey key;
    for (const std::wstring& part :
         {silo, std::wstring(kOptionsBelowProduct[0]), std::wstring(kOptionsBelowProduct[1]),
          std::wstring(kOptionsBelowProduct[2])}) {
        path += L"\\" + part;
        DWORD disposition = 0;
        const LONG created =
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                            KEY_READ | KEY_WRITE | m_view, nullptr, key.put(), &disposition);
        if (created != ERROR_SUCCESS) {
            error = SystemMessage((L"cannot open or make HKLM\\" + path).c_str(), created);
            Restore();
            return false;
        }
        if (disposition == REG_CREATED_NEW_KEY) m_createdKeys.push_back(path);
    }
    m_optionsKey = path;
    std::wstring folder;
    if (!FreshFolder(folder)) {
        error = L"cannot make a folder for the debug log";
        Restore();
        return false;
    }
    logFile = folder + L"\\" + kLogFileName;
    bool saved = Save(key.get(), kDirectory);
    for (const auto& value : kSwitchedOn) saved = saved && Save(key.get(), value.name);
    if (!saved) {
        error = L"cannot read the debug options under HKLM\\" + path;
        Restore();
        return false;
    }
    LONG written = RegSetValueExW(key.get(), kDirectory, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(folder.c_str()),
                                  static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    for (const auto& value : kSwitchedOn) {
        if (written != ERROR_SUCCESS) break;
        written = RegSetValueExW(key.get(), value.name, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value.value), sizeof(DWORD));
    }
    if (written != ERROR_SUCCESS) {
        error =
            SystemMessage((L"cannot write the debug options under HKLM\\" + path).c_str(), written);
        Restore();
        return false;
    }
    return true;
}

void DebugLogSwitch::Restore() {
    if (!m_saved.empty()) {
        pxLib::UniqueRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, m_optionsKey.c_str(), 0, KEY_WRITE | m_view,
                          key.put()) == ERROR_SUCCESS) {
            for (const SavedValue& value : m_saved) {
                if (value.present)
                    RegSetValueExW(key.get(), value.name, 0, value.type, value.data.data(),
                                   static_cast<DWORD>(value.data.size()));
                else
                    RegDeleteValueW(key.get(), value.name);
            }
        }
        m_saved.clear();
    }
    for (auto it = m_createdKeys.rbegin(); it != m_createdKeys.rend(); ++it)
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, it->c_str(), m_view, 0);
    m_createdKeys.clear();
}

}  // namespace qvdhost
