#include "plugin/ModuleLifetime.h"

#include "plugin/ComModule.h"
#include "support/logging/TraceProvider.h"
#include "trust/VerifyTrustFactory.h"

namespace qvd::plugin {

void ModuleStartup(HINSTANCE module) {
    pxLib::RegisterTraceProvider(module);
    pxLib::RegisterVerifyTrustFactoryOnce(&pxLib::StaticVerifyTrustFactory);
    InitialiseComModule();
}

void ModuleShutdown() {
    pxLib::UnregisterTraceProviders();
}

}  // namespace qvd::plugin
