// "isolate.ini" comes from the installation folder: its decoding, the value
// lookup and the upward search over whatever path text it holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "support/isolation/IniSearch.h"
#include "support/isolation/IniText.h"
#include "support/isolation/IsolationSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string text = pxLib::DecodeIniText(bytes);
    if (text.size() > size) std::abort();

    for (const char16_t* key : {u"silo", u"reghive", u"Native64"}) {
        const auto value = pxLib::FindIniValue(text, u"isolation", key);
        if (value && value->size() > text.size()) std::abort();
        // Only that the check returns matters here, not its answer.
        if (value) static_cast<void>(pxLib::IsValidSiloGuid(*value));
    }

    // The same text as a module folder: every candidate stays within MAX_PATH
    // and is strictly shorter than the one before, so the walk ends.
    size_t previous = SIZE_MAX;
    const auto found = pxLib::FindFileUpward(text, u"isolate.ini", [&](const std::u16string& p) {
        if (p.size() > pxLib::kMaxSearchPathChars || p.size() >= previous) std::abort();
        previous = p.size();
        return p.size() % 7 == 0;
    });
    if (found.error == pxLib::kSearchFound && found.path.size() != previous) std::abort();
    return 0;
}
