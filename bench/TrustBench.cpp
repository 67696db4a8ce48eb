// The prelaunch verification of a signed 256 MiB installer next to a bare
// WinVerifyTrust of the same file, in the same run, alternating, after one
// warm-up of each so both read from the file cache. Prints the fastest and
// the median time of each and the verifier's ratio to the bare call.
// Usage: trust_bench [installer]   (default: the build's large signed installer,
// made by: cmake --build build/windows --target trust_bench_installer)
#include "trust/InstallerTrust.h"
#include "trust/VerifyTrustFactory.h"

#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 7;

// What a caller without the verifier would do: the generic Authenticode
// policy on the file by path, no revocation check, no user interface.
LONG BareWinVerifyTrust(const std::wstring& path) {
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_IGNORE;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
}

HRESULT Verifier(const std::wstring& path) {
    pxLib::UniqueHandle held;
    return pxLib::VerifyInstallerTrust(path, held);
}

template <class Call>
double Millis(Call call, long& result) {
    const auto start = Clock::now();
    result = static_cast<long>(call());
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::wstring DefaultInstaller() {
    std::wstring path = L"Z:" QVD_BENCH_LARGE_INSTALLER;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring path = argc > 1 ? argv[1] : DefaultInstaller();
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)) {
        std::fprintf(stderr,
                     "no installer at %ls: cmake --build build/windows --target "
                     "trust_bench_installer makes it\n",
                     path.c_str());
        return 2;
    }
    const uint64_t size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    pxLib::RegisterVerifyTrustFactoryOnce(&pxLib::StaticVerifyTrustFactory);

    long bareResult = 0, verifierResult = 0;
    Millis([&] { return BareWinVerifyTrust(path); }, bareResult);
    Millis([&] { return Verifier(path); }, verifierResult);
    if (bareResult != 0 || verifierResult != 0) {
        std::fprintf(stderr, "not trusted: WinVerifyTrust 0x%08lX, verifier 0x%08lX\n",
                     static_cast<unsigned long>(bareResult),
                     static_cast<unsigned long>(verifierResult));
        return 1;
    }
    std::vector<double> bare, verifier;
    for (int round = 0; round < kRounds; ++round) {
        bare.push_back(Millis([&] { return BareWinVerifyTrust(path); }, bareResult));
        verifier.push_back(Millis([&] { return Verifier(path); }, verifierResult));
        if (bareResult != 0 || verifierResult != 0) return 1;
    }
    const double bareBest = *std::min_element(bare.begin(), bare.end());
    const double verifierBest = *std::min_element(verifier.begin(), verifier.end());
    std::printf("Signed installer of %.0f MiB, %d rounds each, alternating\n",
                static_cast<double>(size) / (1024.0 * 1024.0), kRounds);
    std::printf("%-34s %12s %12s\n", "", "fastest (ms)", "median (ms)");
    std::printf("%-34s %12.1f %12.1f\n", "bare WinVerifyTrust", bareBest, Median(bare));
    std::printf("%-34s %12.1f %12.1f\n", "VerifyInstallerTrust (level 3)", verifierBest,
                Median(verifier));
    std::printf("%-34s %12.2f %12.2f\n", "ratio verifier / bare", verifierBest / bareBest,
                Median(verifier) / Median(bare));
    return 0;
}
