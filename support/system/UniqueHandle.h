// Owners for the Win32 resources the plug-in holds: each closes what it holds
// on every path, so early returns are safe.
#pragma once

#include <windows.h>
#include <userenv.h>

#include <utility>

namespace pxLib {

// Owns one value of a handle-like type and releases it with Traits::Close.
template <class Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : m_value(value) {}
    ~UniqueResource() { reset(); }
    UniqueResource(UniqueResource&& other) noexcept : m_value(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    explicit operator bool() const { return Traits::IsValid(m_value); }
    Type get() const { return m_value; }
    // For out-parameters: releases what is held and hands out the slot.
    Type* put() {
        reset();
        return &m_value;
    }
    Type release() { return std::exchange(m_value, Traits::Invalid()); }
    // Keeps the thread's last error across the close, so that GetLastError()
    // after a reset still tells why the call before it failed.
    void reset(Type value = Traits::Invalid()) {
        Type old = std::exchange(m_value, value);
        if (!Traits::IsValid(old)) return;
        const DWORD lastError = ::GetLastError();
        Traits::Close(old);
        ::SetLastError(lastError);
    }

private:
    Type m_value = Traits::Invalid();
};

// Kernel handles: both NULL and INVALID_HANDLE_VALUE mean "none".
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    [[nodiscard]] static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    [[nodiscard]] static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};
using UniqueRegKey = UniqueResource<RegKeyTraits>;

struct LibraryTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    [[nodiscard]] static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};
using UniqueLibrary = UniqueResource<LibraryTraits>;

struct EnvironmentBlockTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    [[nodiscard]] static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::DestroyEnvironmentBlock(h); }
};
using UniqueEnvironmentBlock = UniqueResource<EnvironmentBlockTraits>;

struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    [[nodiscard]] static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::LocalFree(h); }
};
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;

}  // namespace pxLib

namespace pxLib {

// The process and thread handles CreateProcess hands out. The process handle
// can be moved out to whoever waits for the process.
class ProcessInformation {
public:
    ProcessInformation() = default;
    ProcessInformation(const ProcessInformation&) = delete;
    ProcessInformation& operator=(const ProcessInformation&) = delete;
    ~ProcessInformation() { reset(); }

    // For CreateProcess: closes what is held and hands out the structure.
    PROCESS_INFORMATION* put() {
        reset();
        return &m_info;
    }
    HANDLE process() const { return m_info.hProcess; }
    DWORD processId() const { return m_info.dwProcessId; }
    UniqueHandle TakeProcess() { return UniqueHandle(std::exchange(m_info.hProcess, nullptr)); }
    void reset() {
        UniqueHandle process(std::exchange(m_info.hProcess, nullptr));
        UniqueHandle thread(std::exchange(m_info.hThread, nullptr));
        m_info = PROCESS_INFORMATION{};
    }

private:
    PROCESS_INFORMATION m_info{};
};

}  // namespace pxLib
