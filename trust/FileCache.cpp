#include "trust/FileCache.h"

#include "support/errors/GuardedCall.h"

#include <new>

namespace pxLib {
namespace {

// A fixed lower-case mapping of one UTF-16 unit: ASCII, Latin-1, Latin
// Extended-A, basic Greek and Cyrillic. The cache lives only in memory, so
// any fixed mapping serves as long as it is the same for every lookup.
char16_t FoldCase(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : static_cast<char16_t>(c + 0x20);
    if (c >= 0x100 && c <= 0x137) return static_cast<char16_t>(c | 1);
    if (c >= 0x139 && c <= 0x148) return (c & 1) ? static_cast<char16_t>(c + 1) : c;
    if (c >= 0x14A && c <= 0x177) return static_cast<char16_t>(c | 1);
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
    return c;
}

bool IsPublisherConflict(TrustLevel requested, TrustLevel cached) {
    return NamesPublisher(requested) && NamesPublisher(cached) && requested != cached;
}

// Whether an entry of level cached answers a request for level requested:
// the publisher levels only themselves, levels 1 and 2 only a stronger entry.
bool Satisfies(TrustLevel cached, TrustLevel requested) {
    if (NamesPublisher(requested)) return cached == requested;
    return ToUInt(cached) > ToUInt(requested);
}

std::u16string Folded(std::u16string_view path) {
    std::u16string folded(path);
    for (char16_t& c : folded) c = FoldCase(c);
    return folded;
}

}  // namespace

uint64_t PathKey(std::u16string_view normalisedPath) {
    uint64_t h = 0;
    for (char16_t c : normalisedPath) {
        h = (h + FoldCase(c)) * 1025;
        h ^= h >> 6;
    }
    h *= 9;
    h ^= h >> 11;
    h *= 32769;
    return h;
}

std::deque<FileCache::Entry>::iterator FileCache::Find(uint64_t key,
                                                       const std::u16string& foldedPath,
                                                       bool variant, uint32_t driverPolicy) {
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (it->key == key && it->variant == variant && it->driverPolicy == driverPolicy &&
            it->foldedPath == foldedPath)
            return it;
    return m_entries.end();
}

ValidationError FileCache::Lookup(std::u16string_view path, TrustLevel level, bool variant,
                                  uint32_t driverPolicy, bool& systemComponent, bool& conflict) {
    conflict = false;
    if (path.empty() || !IsValidLevel(level)) return ValidationError::VT_INVALID_ARG;
    const uint64_t key = m_key(path);
    const std::u16string folded = Folded(path);
    std::lock_guard<std::mutex> lock(m_lock);
    auto found = Find(key, folded, variant, driverPolicy);
    if (found == m_entries.end()) return ValidationError::VT_ERROR;
    Entry entry = *found;
    if (m_limit != 0) {
        m_entries.erase(found);
        m_entries.push_back(entry);
    }
    systemComponent = entry.systemComponent;
    if (Satisfies(entry.level, level)) return ValidationError::VT_TRUSTED;
    systemComponent = false;
    conflict = IsPublisherConflict(level, entry.level);
    return ValidationError::VT_NOT_TRUSTED;
}

ValidationError FileCache::Add(std::u16string_view path, TrustLevel level, bool variant,
                               bool systemComponent, uint32_t driverPolicy) {
    if (path.empty() || !IsValidLevel(level)) return ValidationError::VT_INVALID_ARG;
    return pxLib::GuardedAllocation(
        u"FileCache", __LINE__, ValidationError::VT_INTERNAL_ERROR, [&] {
            const uint64_t key = m_key(path);
            std::u16string folded = Folded(path);
            std::lock_guard<std::mutex> lock(m_lock);
            auto found = Find(key, folded, variant, driverPolicy);
            if (found != m_entries.end()) {
                if (!Satisfies(found->level, level) && ToUInt(found->level) < 3)
                    found->level = level;
                if (systemComponent) found->systemComponent = true;
                return ValidationError::VT_TRUSTED;
            }
            m_entries.push_back(
                Entry{key, std::move(folded), level, variant, systemComponent, driverPolicy});
            if (m_limit != 0 && m_entries.size() > m_limit) m_entries.pop_front();
            return ValidationError::VT_TRUSTED;
        });
}

ValidationError FileCache::Remove(std::u16string_view path) {
    const uint64_t key = m_key(path);
    const std::u16string folded = Folded(path);
    std::lock_guard<std::mutex> lock(m_lock);
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->key == key && it->foldedPath == folded) {
            m_entries.erase(it);
            return ValidationError::VT_TRUSTED;
        }
    }
    return ValidationError::VT_INVALID_ARG;
}

void FileCache::SetLimit(uint32_t limit) {
    std::lock_guard<std::mutex> lock(m_lock);
    while (m_entries.size() > limit) m_entries.pop_front();
    m_limit = limit;
}

uint32_t FileCache::Limit() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_limit;
}

void FileCache::Clear() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_entries.clear();
}

size_t FileCache::Count() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_entries.size();
}

FileCache& ProcessFileCache() {
    static FileCache cache;
    return cache;
}

}  // namespace pxLib
