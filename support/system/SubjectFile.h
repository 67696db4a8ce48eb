// How a file that a job names is opened: a named pipe or a remote server
// given as its path learns who opened it, but cannot act as that account.
#pragma once

#include <windows.h>

namespace pxLib {

constexpr DWORD kSubjectOpenFlags =
    FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

}  // namespace pxLib
