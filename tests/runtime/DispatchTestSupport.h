// Shared pieces of the dispatch tests: a counted object that reports its
// destruction, and access to the hidden window's wake-up messages.
#pragma once

#include <windows.h>

#include <atomic>

#include "Runtime/MainThreadDispatch.h"

struct Tracked : CRefThreadSafeBase<Tracked> {
    explicit Tracked(std::atomic<int>* destroyed) : destroyed(destroyed) {}
    virtual ~Tracked() { ++*destroyed; }
    std::atomic<int>* destroyed;
};

inline HWND HiddenDispatchWindow() {
    return FindWindowExW(HWND_MESSAGE, nullptr, L"ThreadingWindowClass", nullptr);
}

inline UINT WakeUpMessage() { return RegisterWindowMessageW(L"com.velmora.MainThreadFired"); }

// Removes the pending wake-up messages of this thread without handling them.
inline int TakeWakeUpMessages() {
    int count = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WakeUpMessage(), WakeUpMessage(), PM_REMOVE)) ++count;
    return count;
}
