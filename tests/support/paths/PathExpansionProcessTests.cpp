// Path expansion in fresh processes: what happens before the map key could be
// opened, and the map read in the product's registry view. Each scenario runs
// the child program with its own silo.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ChildRun.h"
#include "ProductMapKeys.h"

namespace {

using qvdtest::NamedEvent;
using qvdtest::Narrow;
using qvdtest::ProductMapKeys;

// The child program with its settings and steps.
class Child : public qvdtest::ChildRun {
public:
    Child(const std::wstring& settings, const std::vector<std::wstring>& steps)
        : ChildRun(QVD_PATH_EXPANSION_CHILD, settings, steps) {}
};

std::string WindowsFolder() {
    wchar_t path[MAX_PATH] = {};
    GetWindowsDirectoryW(path, MAX_PATH);
    return Narrow(path);
}

TEST(PathExpansionProcess, WithoutTheMapKeyNothingExpandsUntilItAppears) {
    ProductMapKeys keys(KEY_WOW64_64KEY, /*withMap=*/false);
    NamedEvent tried(L"tried");
    NamedEvent created(L"created");
    Child child(
        L"select:" + keys.silo(),
        {L"expand:%CSIDL_WINDOWS%", L"expand:ab", L"expand:C:\\\\plain", L"signal:" + tried.name(),
         L"wait:" + created.name(), L"expand:%A%\\%CSIDL_WINDOWS%"});
    ASSERT_TRUE(tried.Wait());
    keys.CreateMap();
    ASSERT_TRUE(keys.SetString(L"A", L"C:\\a"));
    created.Set();
    ASSERT_EQ(child.Wait(), 0u);
    EXPECT_EQ(child.Lines(),
              (std::vector<std::string>{"0|<untouched>", "0|<untouched>", "0|<untouched>",
                                        "1|C:\\a\\" + WindowsFolder()}));
}

TEST(PathExpansionProcess, WithoutAProductRootNothingExpands) {
    Child child(L"none", {L"expand:%CSIDL_WINDOWS%", L"expand:C:\\plain"});
    ASSERT_EQ(child.Wait(), 0u);
    EXPECT_EQ(child.Lines(), (std::vector<std::string>{"0|<untouched>", "0|<untouched>"}));
}

TEST(PathExpansionProcess, TheMapIsReadInTheProductsRegistryView) {
    // Only the 32-bit view holds the product, so the product's view is 0x200;
    // a 64-bit process that ignored it would find no map at all.
    ProductMapKeys keys(KEY_WOW64_32KEY);
    ASSERT_TRUE(keys.SetString(L"X", L"C:\\from32"));
    ASSERT_TRUE(keys.SetPath64(L"Y", L"y32"));
    Child child(L"select:" + keys.silo(), {L"expand:%X%\\%Y%"});
    ASSERT_EQ(child.Wait(), 0u);
    EXPECT_EQ(child.Lines(), (std::vector<std::string>{"1|C:\\from32\\y32"}));
}

}  // namespace
