// Process-wide isolation settings: the product's silo, the isolated registry
// root, the product registry root and the registry view added to every access
// of the product's keys. Each is settled at most once per process.
#pragma once

#include <cstdint>
#include <string>

namespace pxLib {

constexpr uint32_t kRegistryView64 = 0x100;  // KEY_WOW64_64KEY
constexpr uint32_t kRegistryView32 = 0x200;  // KEY_WOW64_32KEY

class IsolationSettings {
public:
    // Sets the silo, the isolation root and the registry view once; later calls
    // return true at once. silo may be null: then "isolate.ini" must name it.
    [[nodiscard]] static bool Initialise(const char16_t* silo);
    // After Initialise: the product registry root becomes "SOFTWARE\Halvex\<silo>", once.
    [[nodiscard]] static bool ProductRoot();
    // After Initialise: stores the view, but only the first time in the process.
    [[nodiscard]] static bool SetRegistryView(uint32_t view);

    static uint32_t RegistryView();               // 0 until something set it
    static std::u16string Silo();                 // empty until Initialise
    static std::u16string IsolationRoot();        // empty when unset
    static std::u16string ProductRegistryRoot();  // empty until ProductRoot
};

// A braced GUID of 38 characters, hexadecimal digits of either case.
[[nodiscard]] bool IsValidSiloGuid(const std::u16string& silo);

// The run sequence's product view selection for the job's silo: the 64-bit
// view when HKLM\SOFTWARE\Halvex\<silo> is there or nowhere, the 32-bit view
// when only that view has it.
void SelectProductRegistryView(const std::u16string& silo);

}  // namespace pxLib
