#include "ProductProof.h"

#include "PluginTestSupport.h"
#include "packer/FileDataExtender.h"
#include "support/system/UniqueHandle.h"

#include <gtest/gtest.h>

namespace qvdtest {
namespace {

constexpr uint64_t kProductName = 7;

}  // namespace

const std::wstring& ProcessSilo() {
    static const std::wstring silo = NewGuidText();
    return silo;
}

const std::wstring& ProcessRunKey() {
    static const std::wstring runKey = L"QvdTest" + NewGuidText();
    return runKey;
}

ProductProof::ProductProof(const TempDir& dir)
    : m_product(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvex\\" + ProcessSilo()),
      m_cache(dir.file(L"cache")),
      m_finalMarker(m_cache + L"\\finalzed.dat") {
    EXPECT_TRUE(CreateDirectoryW(m_cache.c_str(), nullptr));
    // Paths expand only where the product has a path expansion map, even
    // those without a token, like this cache's.
    pxLib::UniqueRegKey map;
    EXPECT_EQ(
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, (Key() + L"\\Plexor\\PathExpansionMap").c_str(), 0,
                        nullptr, 0, KEY_READ | KEY_WOW64_64KEY, nullptr, map.put(), nullptr),
        ERROR_SUCCESS);
    EXPECT_TRUE(m_product.SetString(L"Version", Widen(kVersion)));
    EXPECT_TRUE(m_product.SetString(L"PRODUCTID", ProcessRunKey()));
    ZOLT::CIRT_FileDataExtender data;
    auto* values = data.EnsureCollection();
    EXPECT_NE(values, nullptr);
    if (values) {
        EXPECT_TRUE(values->SetString(kProductName, u"test product"));
    }
    EXPECT_EQ(data.SaveToStorage(m_cache + L"\\install.dat"), S_OK);
}

namespace {

std::string ProductMember(const char* version, const std::string& members) {
    return "\"product_data\": {\"silo\": " + JsonString(ProcessSilo()) +
           ", \"product_version\": \"" + version +
           "\", \"product_version_key\": \"Version\", \"run_key\": " + JsonString(ProcessRunKey()) +
           members + "}";
}

}  // namespace

std::string ProductProof::ProductDataWithoutCache(const std::string& extra) const {
    return ProductMember(kVersion, extra);
}

std::string ProductProof::ProductDataFor(const char* version, const std::string& extra) const {
    return ProductMember(version, ", \"install_cache\": " + JsonString(m_cache) + extra);
}

std::string ProductProof::ProductData(const std::string& extra) const {
    return ProductDataFor(kVersion, extra);
}

void ProductProof::SetInstalled(bool installed) const {
    if (installed)
        EXPECT_TRUE(WriteFileUtf8(m_finalMarker, "done"));
    else
        DeleteFileW(m_finalMarker.c_str());
}

}  // namespace qvdtest
