#include "RunOnceEntry.h"

#include "ProductProof.h"

namespace qvdtest {
namespace {

const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

}  // namespace

RunOnceEntry::RunOnceEntry() {
    Remove();
}

RunOnceEntry::~RunOnceEntry() {
    Remove();
}

bool RunOnceEntry::Set(const std::wstring& commandLine) const {
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, kRunOnceKey, ProcessRunKey().c_str(), REG_SZ,
                           commandLine.c_str(),
                           static_cast<DWORD>((commandLine.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

void RunOnceEntry::Remove() const {
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kRunOnceKey, ProcessRunKey().c_str());
}

std::string RunOnceEntry::WrittenByInstaller(const std::wstring& commandLine) const {
    return "registry=HKLM\\" + Narrow(kRunOnceKey) + "|" + Narrow(ProcessRunKey()) + "|" +
           Narrow(commandLine);
}

}  // namespace qvdtest
