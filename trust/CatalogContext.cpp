#include "trust/CatalogContext.h"

#include "support/logging/Trace.h"
#include "support/system/Platform.h"
#include "support/system/SubjectFile.h"
#include "support/system/UniqueHandle.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x7F3D28B6, 0x4C19, 0x4E50, {0x91, 0x6A, 0x0F, 0xC3, 0x55, 0x8E, 0x2D, 0x74}}};
enum class TraceEvent : uint16_t {
    NoSha256Interface = 1,
    AcquireFailed,
    HashOpenFailed,
    HashFailed,
    EnumerationFailed,
    Sha256NotInCatalogs,
};

using AcquireContext2Fn = BOOL(WINAPI*)(HCATADMIN*, const GUID*, PCWSTR, PCCERT_STRONG_SIGN_PARA,
                                        DWORD);
using CalcHash2Fn = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);

// An entry point of the already loaded WinTrust.dll; it is not loaded for this.
template <class Fn>
Fn WinTrustEntry(const char* name) {
    const HMODULE wintrust = GetModuleHandleW(L"WinTrust.dll");
    if (!wintrust) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(wintrust, name)));
}

constexpr wchar_t kHexDigits[] = L"0123456789ABCDEF";

}  // namespace

CatalogContext::CatalogContext(bool useSha256) : m_useSha256(useSha256) {
    if (m_useSha256) {
        const auto acquire2 = WinTrustEntry<AcquireContext2Fn>("CryptCATAdminAcquireContext2");
        if (!acquire2) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoSha256Interface);
            m_useSha256 = false;
            return;
        }
        m_succeeded = acquire2(&m_context, nullptr, L"SHA256", nullptr, 0) != FALSE;
    } else {
        m_succeeded = CryptCATAdminAcquireContext(&m_context, nullptr, 0) != FALSE;
    }
    if (!m_succeeded) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::AcquireFailed, GetLastError(),
              static_cast<uint32_t>(m_useSha256));
        m_context = nullptr;
    }
}

CatalogContext::~CatalogContext() {
    if (m_context) CryptCATAdminReleaseContext(m_context, 0);
}

std::wstring HashMemberTag(const std::vector<uint8_t>& hash) {
    std::wstring tag;
    tag.reserve(hash.size() * 2);
    for (uint8_t byte : hash) {
        tag.push_back(kHexDigits[byte >> 4]);
        tag.push_back(kHexDigits[byte & 0x0F]);
    }
    return tag;
}

CatalogFileHash::CatalogFileHash(HCATADMIN context, const std::wstring& path, bool useSha256,
                                 HANDLE heldFile) {
    UniqueHandle opened;
    if (!heldFile)
        opened.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, kSubjectOpenFlags, nullptr));
    const HANDLE file = heldFile ? heldFile : opened.get();
    // The hash is of the whole file, whoever read it before.
    const LARGE_INTEGER start{};
    if (heldFile ? !SetFilePointerEx(file, start, nullptr, FILE_BEGIN) : !opened) {
        m_lastError = GetLastError();
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::HashOpenFailed, path, m_lastError);
        return;
    }
    const auto calcHash2 = WinTrustEntry<CalcHash2Fn>("CryptCATAdminCalcHashFromFileHandle2");
    const bool second = calcHash2 && context && useSha256;
    const auto calc = [&](DWORD* size, BYTE* buffer) {
        return second ? calcHash2(context, file, size, buffer, 0)
                      : CryptCATAdminCalcHashFromFileHandle(file, size, buffer, 0);
    };
    // Once for the size (some systems answer TRUE, others FALSE with
    // ERROR_INSUFFICIENT_BUFFER), once into a buffer of that size.
    DWORD size = 0;
    calc(&size, nullptr);
    if (size == 0) {
        m_lastError = GetLastError();
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::HashFailed, path, m_lastError);
        return;
    }
    m_hash.resize(size);
    m_succeeded = calc(&size, m_hash.data()) != FALSE && size <= m_hash.size();
    m_lastError = GetLastError();
    if (!m_succeeded) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::HashFailed, path, m_lastError);
        m_hash.clear();
        return;
    }
    m_hash.resize(size);
    m_memberTag = HashMemberTag(m_hash);
}

CatalogIterator::CatalogIterator(HCATADMIN context, const std::vector<uint8_t>& hash) {
    // The platform releases the previous context each time it is handed back.
    HCATINFO catalog = nullptr;
    SetLastError(0);
    while ((catalog = CryptCATAdminEnumCatalogFromHash(context, const_cast<BYTE*>(hash.data()),
                                                       static_cast<DWORD>(hash.size()), 0,
                                                       &catalog)) != nullptr) {
        CATALOG_INFO info{};
        info.cbStruct = sizeof(info);
        if (!CryptCATCatalogInfoFromContext(catalog, &info, 0)) {
            CryptCATAdminReleaseCatalogContext(context, catalog, 0);
            break;
        }
        info.wszCatalogFile[MAX_PATH - 1] = 0;
        m_catalogs.emplace_back(info.wszCatalogFile);
    }
    const DWORD error = GetLastError();
    if (error != 0 && error != ERROR_NOT_FOUND)
        Trace(kTraceSource, TraceLevel::Warning, TraceEvent::EnumerationFailed, error);
}

bool ChooseSha256ForCatalogs(const std::wstring& path, HANDLE heldFile) {
    if (Platform().Version().AtLeast(6, 2)) return true;
    CatalogContext trial(true);
    if (!trial.Acquired() || !trial.UsesSha256()) return false;
    const CatalogFileHash hash(trial.Handle(), path, true, heldFile);
    if (!hash.Succeeded()) return false;
    if (CatalogIterator(trial.Handle(), hash.Bytes()).FoundNone()) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::Sha256NotInCatalogs, path);
        return false;
    }
    return true;
}

}  // namespace pxLib
