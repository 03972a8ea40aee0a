// The worker thread of one HTTP engine: the only thread that drives
// libcurl's multi interface.
//
// The main thread hands transfers in and out through three queues under one
// lock; the worker moves them into and out of the multi handle and reports
// back through tasks posted to the main thread. Every queue entry holds a
// reference, so a transfer lives while any queue holds it.
//
//   main thread                    worker (SyncQueues, each pass)
//   AddCurl    -> pending-add      invalid transfers -> pending-remove
//   RemoveCurl -> pending-remove   pending-remove: detach, post OnCurlRemoved
//                                  pending-add: add to multi, post OnCurlAdded
//                                  DONE message: post OnCurlDone, detach
#pragma once

#include <deque>

#include "Http/CurlHandles.h"
#include "Http/CurlHttp.h"
#include "Runtime/CriticalSection.h"
#include "Runtime/SimpleThread.h"

class CCurlWorkshop : public CSimpleThread {
public:
    using Queue = std::deque<CRefPtr<CCurlBase>>;

    CCurlWorkshop() = default;
    ~CCurlWorkshop() override;

    // Main thread, once, before Start: creates the multi handle.
    void Init();
    // Main thread. False when there is no multi handle (not initialised or
    // already shut down); the transfer is then not queued.
    bool AddCurl(const CRefPtr<CCurlBase>& curl);
    bool RemoveCurl(const CRefPtr<CCurlBase>& curl);
    // Main thread, after the thread has been stopped: frees every running
    // transfer's easy handle and the multi handle, and empties the queues.
    void Uninit();

protected:
    void Run() override;

private:
    int Perform();
    int ReadMessages();
    void SyncQueues();
    bool DetachCurl(const CRefPtr<CCurlBase>& curl);

    Http::UniqueMultiHandle multi_;
    Queue pendingAdd_;
    Queue running_;
    Queue pendingRemove_;
    Runtime::CriticalSection lock_;
};
