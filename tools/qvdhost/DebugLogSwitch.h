// The plug-in's debug options (HKLM, beneath the product's key of the job's
// silo, "Plexor\Debug\DebugOutput") switched on for one run into a fresh
// file, and put back as they were afterwards.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvdhost {

class DebugLogSwitch {
public:
    DebugLogSwitch() = default;
    DebugLogSwitch(const DebugLogSwitch&) = delete;
    DebugLogSwitch& operator=(const DebugLogSwitch&) = delete;
    ~DebugLogSwitch() { Restore(); }

    // False (with a message) when the options cannot be written; what was
    // written by then is put back at once. logFile names the file the
    // plug-in will write.
    [[nodiscard]] bool SwitchOn(const std::wstring& silo, std::wstring& logFile,
                                std::wstring& error);
    // Every value as it was, and the keys this created removed again.
    void Restore();

private:
    struct SavedValue {
        const wchar_t* name;
        bool present = false;
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    [[nodiscard]] bool Save(HKEY key, const wchar_t* name);

    REGSAM m_view = KEY_WOW64_64KEY;
    std::wstring m_optionsKey;
    std::vector<std::wstring> m_createdKeys;  // outermost first
    std::vector<SavedValue> m_saved;
};

// The silo of a job text ("product_data": {"silo": ...}); false without one.
[[nodiscard]] bool JobSilo(const std::wstring& jobText, std::wstring& silo);

}  // namespace qvdhost
