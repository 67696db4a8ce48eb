#include "plugin/ModuleLifetime.h"

#include "plugin/ComModule.h"
#include "support/logging/TraceProvider.h"
#include "trust/ModuleTrustHook.h"
#include "trust/VerifyTrustFactory.h"

namespace qvd::plugin {

void ModuleStartup(HINSTANCE module) {
    // Start-up goes on without tracing when the provider cannot register.
    static_cast<void>(pxLib::RegisterTraceProvider(module));
    pxLib::RegisterVerifyTrustFactoryOnce(&pxLib::StaticVerifyTrustFactory);
    pxLib::InstallModuleTrustHook();
    InitialiseComModule();
}

void ModuleShutdown() {
    pxLib::UnregisterTraceProviders();
}

}  // namespace qvd::plugin
