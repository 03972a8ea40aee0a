#include "Runtime/SimpleThread.h"

#include <process.h>

#include "Runtime/Logger.h"

bool CSimpleThread::IsRunning() {
    if (!thread_) return false;
    DWORD exitCode = 0;
    if (GetExitCodeThread(thread_.get(), &exitCode) && exitCode == STILL_ACTIVE) return true;
    ReleaseThread();
    return false;
}

bool CSimpleThread::Start() {
    if (IsRunning()) return true;
    stopRequested_.store(false, std::memory_order_release);
    ReleaseThread();
    unsigned id = 0;
    HANDLE h = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ThreadProc, this, 0, &id));
    thread_.reset(h);
    threadId_ = h ? id : 0;
    return h != nullptr;
}

bool CSimpleThread::Stop(DWORD timeoutMs) {
    if (!IsRunning()) return true;
    stopRequested_.store(true, std::memory_order_release);
    return DestroyThread(timeoutMs);
}

bool CSimpleThread::DestroyThread(DWORD timeoutMs) {
    if (!thread_) return false;
    // The wrapped thread cannot wait for itself; it only lets go of the handle.
    if (GetCurrentThreadId() != threadId_) {
        if (WaitForSingleObject(thread_.get(), timeoutMs) == WAIT_TIMEOUT) {
            LOG_PAIR(kLogError, L".\\Runtime\\SimpleThread",
                     L"CSimpleThread::DestroyThread线程结束超时 tid:%d ", static_cast<int>(threadId_));
            TerminateThread(thread_.get(), 0);
        }
    }
    ReleaseThread();
    return true;
}

void CSimpleThread::ReleaseThread() {
    thread_.reset();
    threadId_ = 0;
}

unsigned __stdcall CSimpleThread::ThreadProc(void* self) {
    static_cast<CSimpleThread*>(self)->Run();
    return 0;
}
