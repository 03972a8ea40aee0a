#include "Runtime/MainThreadDispatch.h"

#include <cassert>
#include <deque>

#include "Runtime/CriticalSection.h"
#include "Runtime/MonotonicClock.h"

namespace {

// Each wake-up runs tasks for at most this long, so painting and input are
// handled between batches when many tasks arrive.
constexpr double kDispatchBudgetSeconds = 0.05;

struct QueueEntry {
    MainThreadDispatchFunction dispatch;
    CRefPtr<MainThreadTaskBase> task;
};

struct Dispatcher {
    Runtime::CriticalSection lock;
    std::deque<QueueEntry> queue;
    HWND window = nullptr;
    UINT wakeUpMessage = 0;
    DWORD mainThreadId = 0;
};

Dispatcher& TheDispatcher() {
    static Dispatcher dispatcher;
    return dispatcher;
}

LRESULT CALLBACK HiddenWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != 0 && message == TheDispatcher().wakeUpMessage) {
        DispatchMainThreadTasks();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

void InitMainThreadDispatch() {
    Dispatcher& d = TheDispatcher();
    if (d.window) return;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = HiddenWindowProc;
    wc.lpszClassName = L"ThreadingWindowClass";
    RegisterClassW(&wc);
    d.wakeUpMessage = RegisterWindowMessageW(L"com.velmora.MainThreadFired");
    d.mainThreadId = GetCurrentThreadId();
    d.window = CreateWindowExW(0, L"ThreadingWindowClass", nullptr, 0, CW_USEDEFAULT, 0,
                               CW_USEDEFAULT, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

void ShutdownMainThreadDispatch() {
    Dispatcher& d = TheDispatcher();
    std::deque<QueueEntry> dropped;
    {
        Runtime::CriticalSectionLock guard(d.lock);
        dropped.swap(d.queue);
        // The handle stays set: a later Init does nothing, and tasks posted
        // from now on stay queued and are never run.
        if (d.window) DestroyWindow(d.window);
    }
    // The dropped tasks are destroyed here, outside the lock, so a task whose
    // values release other objects cannot run their destructors under it.
}

void PostMainThreadTask(MainThreadDispatchFunction dispatch, const CRefPtr<MainThreadTaskBase>& task) {
    Dispatcher& d = TheDispatcher();
    bool wasEmpty;
    {
        Runtime::CriticalSectionLock guard(d.lock);
        wasEmpty = d.queue.empty();
        d.queue.push_back(QueueEntry{dispatch, task});
    }
    // Only the empty-to-non-empty transition needs a wake-up: while the queue
    // holds tasks, a wake-up is pending or the handler is running.
    if (wasEmpty) PostMessageW(d.window, d.wakeUpMessage, 0, 0);
}

void DispatchMainThreadTasks() {
    Dispatcher& d = TheDispatcher();
    assert(GetCurrentThreadId() == d.mainThreadId);
    const double start = GetMonotonicSeconds();
    QueueEntry current{};
    for (;;) {
        {
            Runtime::CriticalSectionLock guard(d.lock);
            if (d.queue.empty()) return;
            current = std::move(d.queue.front());
            d.queue.pop_front();
        }
        current.dispatch(&current.task);
        if (GetMonotonicSeconds() - start > kDispatchBudgetSeconds) {
            PostMessageW(d.window, d.wakeUpMessage, 0, 0);
            return;
        }
    }
}

void RunMainThreadTask(CRefPtr<MainThreadTaskBase>* task) {
    (*task)->Run();
}
