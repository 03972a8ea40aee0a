// Base of the worker threads: one OS thread running the derived class's
// Run, a cooperative stop request, and a bounded stop that kills a thread
// which does not end in time.
//
// Only the owner releases the thread handle (IsRunning, Start, DestroyThread
// and the destructor); the ending thread leaves it alone, so the handle the
// owner may be waiting on stays valid and is closed exactly once.
#pragma once

#include <windows.h>

#include <atomic>

#include "Runtime/WinHandle.h"

class CSimpleThread {
public:
    CSimpleThread() = default;
    // Closes the handle; does not stop or wait for the thread.
    virtual ~CSimpleThread() = default;
    CSimpleThread(const CSimpleThread&) = delete;
    CSimpleThread& operator=(const CSimpleThread&) = delete;

    // Requests a stop and waits up to `timeoutMs` for the thread to end,
    // terminating it after that. True unless there was a handle to lose.
    virtual bool Stop(DWORD timeoutMs);
    // Starts the thread unless it is running already (then also true).
    virtual bool Start();

    bool IsRunning();
    bool DestroyThread(DWORD timeoutMs);
    DWORD ThreadId() const { return threadId_; }

protected:
    virtual void Run() = 0;
    bool StopRequested() const { return stopRequested_.load(std::memory_order_acquire); }

private:
    static unsigned __stdcall ThreadProc(void* self);
    void ReleaseThread();

    Runtime::UniqueHandle thread_;
    DWORD threadId_ = 0;
    std::atomic<bool> stopRequested_{false};
};
