// The process-wide memory of files already verified, keyed by a 64-bit hash of
// the normalised path. Portable; one instance per module (ProcessFileCache).
#pragma once

#include "trust/TrustTypes.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

namespace pxLib {

// The one-at-a-time hash of the path's UTF-16 units, each folded to lower case
// first, so that paths differing only in letter case share a key.
uint64_t PathKey(std::u16string_view normalisedPath);

// Entries are found by the key and then compared by the folded path itself:
// two paths whose keys collide never answer for each other.
class FileCache {
public:
    static constexpr uint32_t kDefaultLimit = 100;
    using KeyFunction = uint64_t (*)(std::u16string_view normalisedPath);

    explicit FileCache(KeyFunction key = &PathKey) : m_key(key) {}

    // VT_TRUSTED (an entry satisfies the level), VT_NOT_TRUSTED (an entry does
    // not; conflict tells whether it names another publisher), VT_ERROR (not
    // cached) or VT_INVALID_ARG.
    [[nodiscard]] ValidationError Lookup(std::u16string_view path, TrustLevel level, bool variant,
                                         uint32_t driverPolicy, bool& systemComponent,
                                         bool& conflict);
    // VT_TRUSTED, VT_INVALID_ARG or VT_INTERNAL_ERROR.
    [[nodiscard]] ValidationError Add(std::u16string_view path, TrustLevel level, bool variant,
                                      bool systemComponent, uint32_t driverPolicy);
    // Erases the first entry of the path, whatever its variant: VT_TRUSTED, or
    // VT_INVALID_ARG when there is none.
    [[nodiscard]] ValidationError Remove(std::u16string_view path);

    // 0: no limit, and lookups do not reorder.
    void SetLimit(uint32_t limit);
    uint32_t Limit();
    void Clear();
    size_t Count();

private:
    struct Entry {
        uint64_t key;
        std::u16string foldedPath;
        TrustLevel level;
        bool variant;
        bool systemComponent;
        uint32_t driverPolicy;
    };
    std::deque<Entry>::iterator Find(uint64_t key, const std::u16string& foldedPath, bool variant,
                                     uint32_t driverPolicy);

    KeyFunction m_key;
    std::mutex m_lock;
    std::deque<Entry> m_entries;  // oldest first
    uint32_t m_limit = kDefaultLimit;
};

// The module's cache.
FileCache& ProcessFileCache();

}  // namespace pxLib
