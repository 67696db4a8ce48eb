// Owners beside those of UniqueHandle.h for what a file search and the process
// heap hand out: a search handle closed with FindClose, and a block the
// process heap allocated for the caller, freed with HeapFree.
#pragma once

#include "support/system/UniqueHandle.h"

namespace pxLib {

// Only INVALID_HANDLE_VALUE means "none": FindFirstFileW never gives NULL.
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    [[nodiscard]] static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};
using UniqueFindHandle = UniqueResource<FindHandleTraits>;

struct ProcessHeapTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    [[nodiscard]] static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::HeapFree(::GetProcessHeap(), 0, h); }
};
using UniqueProcessHeapBlock = UniqueResource<ProcessHeapTraits>;

}  // namespace pxLib
