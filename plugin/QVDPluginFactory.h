// The host-model factory handed out by GetFactory.
#pragma once

#include "plugin/HostObjectBase.h"

namespace qvd::plugin {

class QVDPluginFactory final : public HostObjectBase, public IPluginFactory {
public:
    OBJRESULT QueryInterface(const GUID& iid, void** out) override;
    int64_t AddRef() override { return AddRefCommon(); }
    int64_t Release() override { return ReleaseCommon(); }
    OBJRESULT CreateInstance(const GUID& iid, void** out) override;
    OBJRESULT CreateInstanceWithOwner(const GUID& iid, void** out, IObjectOwner* owner) override;
};

// GetFactory's work: only FACTORYID_QVDPlugin is known.
OBJRESULT GetPluginFactory(const GUID* factoryId, void** out);

}  // namespace qvd::plugin
