// Intrusive, thread-safe reference counting.
//
// An object shared between threads (a posted task, a transfer) carries its
// own count; the last Release, on whichever thread, deletes it through the
// derived class's virtual destructor.
#pragma once

#include <windows.h>

template <typename T>
class CRefThreadSafeBase {
public:
    void AddRef() { InterlockedIncrement(&refCount_); }
    void Release() {
        if (InterlockedDecrement(&refCount_) == 0) delete static_cast<T*>(this);
    }

protected:
    CRefThreadSafeBase() = default;
    ~CRefThreadSafeBase() = default;
    CRefThreadSafeBase(const CRefThreadSafeBase&) = delete;
    CRefThreadSafeBase& operator=(const CRefThreadSafeBase&) = delete;

private:
    volatile LONG refCount_ = 0;
};

template <typename T>
class CRefPtr {
public:
    CRefPtr() = default;
    CRefPtr(T* p) : p_(p) {  // NOLINT: implicit, like a raw pointer
        if (p_) p_->AddRef();
    }
    CRefPtr(const CRefPtr& other) : CRefPtr(other.p_) {}
    template <typename U>
    CRefPtr(const CRefPtr<U>& other) : CRefPtr(other.get()) {}
    CRefPtr(CRefPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ~CRefPtr() {
        if (p_) p_->Release();
    }

    // The new target is referenced before the old one is released, so
    // assigning an object's last owner to itself is safe.
    CRefPtr& operator=(const CRefPtr& other) {
        if (this != &other) Reset(other.p_);
        return *this;
    }
    CRefPtr& operator=(CRefPtr&& other) noexcept {
        if (this != &other) {
            T* old = p_;
            p_ = other.p_;
            other.p_ = nullptr;
            if (old) old->Release();
        }
        return *this;
    }

    void Reset(T* p = nullptr) {
        if (p) p->AddRef();
        T* old = p_;
        p_ = p;
        if (old) old->Release();
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

