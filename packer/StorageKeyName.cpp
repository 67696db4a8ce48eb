#include "packer/FileDataExtender.h"
#include "packer/FileSystem.h"
#include "support/logging/Log.h"

#include <new>

namespace ZOLT {

HRESULT StorageKeyName(const std::u16string& modulePath, int form, std::u16string& name) {
    if (modulePath.empty()) {
        pxLib::LogError(u"Invalid parameter. Module Name is Empty");
        return kHrInvalidArg;
    }
    std::u16string folder, fileName;
    if (!SplitPath(modulePath, folder, fileName)) {
        pxLib::LogError(u"Invalid parameter. Failed to split path %s", modulePath);
        return kHrInvalidArg;
    }
    try {
        if (form == 0) {
            name = folder + kSideFileName;
        } else {
            // "..\install.dat", with the separator the module path uses.
            name = folder + u".." + folder.back() + kSideFileName;
        }
    } catch (const std::bad_alloc&) {
        pxLib::LogError(u"Out of Memory");
        return kHrOutOfMemory;
    }
    return kHrOk;
}

}  // namespace ZOLT
