// Move-only owners for Windows handles.
//
// One template, with a traits policy per handle family: most kernel handles
// use null as "no handle", while CreateFileW uses INVALID_HANDLE_VALUE.
// Owners cannot be copied, so every handle is closed exactly once.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shtypes.h>

#include <utility>

namespace Runtime {

template <typename Traits>
class UniqueResource {
public:
    using Value = typename Traits::Value;

    UniqueResource() = default;
    explicit UniqueResource(Value value) : value_(value) {}
    ~UniqueResource() { reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Value get() const { return value_; }
    bool valid() const { return value_ != Traits::Invalid(); }
    explicit operator bool() const { return valid(); }

    // Gives up ownership without closing.
    Value release() { return std::exchange(value_, Traits::Invalid()); }

    void reset(Value value = Traits::Invalid()) {
        Value old = std::exchange(value_, value);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

private:
    Value value_ = Traits::Invalid();
};

// Threads, processes, events, mappings: null means "no handle".
struct KernelHandleTraits {
    using Value = HANDLE;
    static Value Invalid() { return nullptr; }
    static void Close(Value h) { ::CloseHandle(h); }
};

// Files from CreateFileW: INVALID_HANDLE_VALUE means "no handle".
struct FileHandleTraits {
    using Value = HANDLE;
    static Value Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Value h) { ::CloseHandle(h); }
};

// Searches from FindFirstFileW.
struct FindHandleTraits {
    using Value = HANDLE;
    static Value Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Value h) { ::FindClose(h); }
};

struct RegistryKeyTraits {
    using Value = HKEY;
    static Value Invalid() { return nullptr; }
    static void Close(Value key) { ::RegCloseKey(key); }
};

// Item lists the shell allocates (folder locations, browse results).
struct ItemListTraits {
    using Value = PIDLIST_ABSOLUTE;
    static Value Invalid() { return nullptr; }
    static void Close(Value list) { ::CoTaskMemFree(list); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;
using UniqueItemList = UniqueResource<ItemListTraits>;

}  // namespace Runtime
