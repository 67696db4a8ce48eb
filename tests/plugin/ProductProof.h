// A product of the test's own that the installed check can find installed,
// set up for real: its key under HKLM\SOFTWARE\Halvex\<silo> (64-bit view)
// with version, product id and an empty path expansion map, and an install
// cache folder with install.dat and, when installed, finalzed.dat. The product view and root are
// settled once per process, so a test program uses one silo: ProcessSilo().
#pragma once

#include "TestSupport.h"

#include <string>

namespace qvdtest {

// One silo and one run key per test process, used by no other program.
const std::wstring& ProcessSilo();
const std::wstring& ProcessRunKey();

class ProductProof {
public:
    static constexpr const char* kVersion = "1.2.3.4";

    explicit ProductProof(const TempDir& dir);

    // The job's "product_data" member for this product, with extra members
    // (each beginning with ", ") appended.
    std::string ProductData(const std::string& extra = "") const;
    // The same for another version of the product.
    std::string ProductDataFor(const char* version, const std::string& extra = "") const;
    // Without install_cache: nothing of an earlier installation is looked for.
    std::string ProductDataWithoutCache(const std::string& extra = "") const;

    // finalzed.dat in the cache: the file an installer writes when it is done.
    const std::wstring& FinalMarker() const { return m_finalMarker; }
    void SetInstalled(bool installed) const;
    // The product key's path beneath HKEY_LOCAL_MACHINE.
    std::wstring Key() const { return m_product.path(); }

private:
    ScopedRegistryKey m_product;
    std::wstring m_cache;
    std::wstring m_finalMarker;
};

}  // namespace qvdtest
