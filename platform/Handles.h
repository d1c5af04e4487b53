// Move-only owners for the Windows handles the program holds.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace platform {

// Generic owner: Traits names the empty value and how to release.
template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept : value_(Traits::Empty()) {}
    explicit UniqueResource(Type value) noexcept : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept
        : value_(std::exchange(other.value_, Traits::Empty())) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, Traits::Empty()));
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    Type get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::Empty(); }
    void reset(Type value = Traits::Empty()) noexcept {
        if (value_ != Traits::Empty()) Traits::Close(value_);
        value_ = value;
    }

private:
    Type value_;
};

struct HandleTraits {  // process, thread, event handles: NULL is empty
    using Type = HANDLE;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { CloseHandle(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { FreeLibrary(h); }
};
struct FindTraits {  // find handles: INVALID_HANDLE_VALUE is empty
    using Type = HANDLE;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { FindClose(h); }
};
struct GdiTraits {
    using Type = HGDIOBJ;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { DeleteObject(h); }
};
struct LocalTraits {  // memory the system allocated for us with LocalAlloc
    using Type = HLOCAL;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { LocalFree(h); }
};
struct WindowTraits {
    using Type = HWND;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { DestroyWindow(h); }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueFind = UniqueResource<FindTraits>;
using UniqueGdiObject = UniqueResource<GdiTraits>;
using UniqueWindow = UniqueResource<WindowTraits>;
using UniqueLocal = UniqueResource<LocalTraits>;

// COM on the calling thread for the owner's lifetime.
class ComApartment {
public:
    explicit ComApartment(DWORD model) noexcept
        : initialised_(SUCCEEDED(CoInitializeEx(nullptr, model))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (initialised_) CoUninitialize();
    }
    bool initialised() const noexcept { return initialised_; }

private:
    bool initialised_;
};

}  // namespace platform
