// The run sequence's choice of the product's registry view.
#include <windows.h>

#include "support/isolation/IsolationSettings.h"
#include "support/logging/Trace.h"
#include "support/registry/RegistryKey.h"
#include "support/text/Utf.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x70d25790, 0xe76e, 0x4c19, {0xab, 0xf7, 0x3a, 0xd7, 0xee, 0x18, 0xe8, 0xb7}}};
enum class TraceEvent : uint16_t {
    SiloRefused = 1,
    NoProductRoot = 2,
    ProductKeyInNeitherView = 3,
    ViewNotSet = 4,
};

}  // namespace

void SelectProductRegistryView(const std::u16string& silo) {
    // The job gave a silo: it must be a braced GUID itself. An empty one must
    // not let "isolate.ini" settle the product for the whole process.
    if (!IsolationSettings::Initialise(silo.c_str())) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SiloRefused, silo);
        return;
    }
    if (!IsolationSettings::ProductRoot()) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoProductRoot, silo);
        return;
    }
    // The root the product's keys are read under, so the view fits it even
    // when an earlier caller settled the silo.
    const std::u16string productRoot = IsolationSettings::ProductRegistryRoot();
    uint32_t view = kRegistryView64;
    RegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, AsWide(productRoot), KEY_READ | KEY_WOW64_64KEY)) {
        if (key.Open(HKEY_LOCAL_MACHINE, AsWide(productRoot), KEY_READ | KEY_WOW64_32KEY))
            view = kRegistryView32;
        else
            Trace(kTraceSource, TraceLevel::Information, TraceEvent::ProductKeyInNeitherView,
                  productRoot);
    }
    key.Close();
    if (!IsolationSettings::SetRegistryView(view))
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ViewNotSet, view);
}

}  // namespace pxLib
