// Running work from any thread on the main (UI) thread.
//
// A worker packages a plain function and copies of its arguments into a
// counted task and queues it; a registered message posted to a hidden
// message-only window wakes the main thread, which runs queued tasks in
// order from its ordinary message loop.
#pragma once

#include <windows.h>

#include <tuple>
#include <type_traits>
#include <utility>

#include "Runtime/RefCounted.h"

class MainThreadTaskBase : public CRefThreadSafeBase<MainThreadTaskBase> {
public:
    virtual void Run() = 0;
    virtual ~MainThreadTaskBase() = default;
};

// A plain function plus copies of its arguments. Arguments are stored
// decayed (a `const CRefPtr<T>&` parameter stores a CRefPtr, which keeps its
// target alive until the task is destroyed) and passed back as the
// function's own parameter types.
template <typename... Params>
class MainThreadTask : public MainThreadTaskBase {
public:
    using Function = void (*)(Params...);

    template <typename... Values>
    explicit MainThreadTask(Function function, Values&&... values)
        : function_(function), values_(std::forward<Values>(values)...) {}

    void Run() override {
        std::apply([this](const auto&... values) { function_(values...); }, values_);
    }

private:
    Function function_;
    std::tuple<std::decay_t<Params>...> values_;
};

// The named arities; the storage types (P) are the decayed passing types (A).
template <typename P1, typename A1, typename P2, typename A2>
using MainThreadTask2 = MainThreadTask<A1, A2>;
template <typename P1, typename A1, typename P2, typename A2, typename P3, typename A3>
using MainThreadTask3 = MainThreadTask<A1, A2, A3>;
template <typename P1, typename A1, typename P2, typename A2, typename P3, typename A3,
          typename P4, typename A4>
using MainThreadTask4 = MainThreadTask<A1, A2, A3, A4>;

using MainThreadDispatchFunction = void (*)(CRefPtr<MainThreadTaskBase>* task);

// Creates the hidden window and registers the wake-up message. Main thread,
// once, before any worker thread exists.
void InitMainThreadDispatch();

// Drops queued tasks without running them and destroys the hidden window.
void ShutdownMainThreadDispatch();

// Queues a task; any thread. Wakes the main thread when the queue was empty.
void PostMainThreadTask(MainThreadDispatchFunction dispatch, const CRefPtr<MainThreadTaskBase>& task);

// Runs queued tasks until the queue is empty or 50 ms have passed, in which
// case it posts the wake-up message again. Main thread only.
void DispatchMainThreadTasks();

// The dispatch function used by RunOnMainThread: runs the task.
void RunMainThreadTask(CRefPtr<MainThreadTaskBase>* task);

// Queues `function(values...)` to run on the main thread; any thread.
template <typename... Params, typename... Values>
void RunOnMainThread(void (*function)(Params...), Values&&... values) {
    static_assert(sizeof...(Params) == sizeof...(Values), "one value per parameter");
    CRefPtr<MainThreadTaskBase> task(
        new MainThreadTask<Params...>(function, std::forward<Values>(values)...));
    PostMainThreadTask(&RunMainThreadTask, task);
}
