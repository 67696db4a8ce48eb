// The host-model factory handed out by GetFactory.
#pragma once

#include "plugin/HostObjectBase.h"

namespace qvd::plugin {

class QVDPluginFactory final : public HostObjectBase, public IPluginFactory {
public:
    [[nodiscard]] OBJRESULT QueryInterface(const GUID& iid, void** out) override;
    int64_t AddRef() override { return AddRefCommon(); }
    int64_t Release() override { return ReleaseCommon(); }
    [[nodiscard]] OBJRESULT CreateInstance(const GUID& iid, void** out) override;
    [[nodiscard]] OBJRESULT CreateInstanceWithOwner(const GUID& iid, void** out,
                                                    IObjectOwner* owner) override;
};

// GetFactory's work: only FACTORYID_QVDPlugin is known.
[[nodiscard]] OBJRESULT GetPluginFactory(const GUID* factoryId, void** out);

}  // namespace qvd::plugin
