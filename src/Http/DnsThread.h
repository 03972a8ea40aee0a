// The spare resolver: when a download has failed on every URL, its host is
// resolved on a worker thread through the installer's own DNS servers
// (SpareDnsServers), bypassing the system resolver. The servers are asked one
// after the other until one answers usably; the outcome is posted to the main
// thread as one call of the result function.
#pragma once

#include <string>

#include "Runtime/CriticalSection.h"
#include "Runtime/SimpleThread.h"

class CDNSThread : public CSimpleThread {
public:
    // Runs on the main thread. Code 0 with the ";"-joined dotted IPv4
    // addresses of the answer (possibly none), or -1 with an empty list when
    // no server answered usably. `host` is the UTF-8 name that was resolved;
    // `task` is the value given to SetTask, passed back untouched.
    using ResultFunction = void (*)(int code, void* task, const std::string& host,
                                    const std::string& addresses);

    CDNSThread() = default;
    // Stops a resolution that still runs, so the thread never outlives the
    // fields it reads.
    ~CDNSThread() override;

    // Set these before Start; they must not change while the thread runs.
    void SetResultFunction(ResultFunction function) { resultFunction_ = function; }
    void SetHost(const std::string& host) { host_ = host; }
    void SetTask(void* task) { task_ = task; }

    // Once Stop has been called, the running resolution posts nothing, even
    // when its answer arrives while Stop waits for the thread.
    bool Stop(DWORD timeoutMs) override;
    bool Start() override;

protected:
    void Run() override;

private:
    bool Cancelled();
    // Posts the outcome unless Stop was called; the check and the post are
    // one step under the lock, so a Stop either prevents the post or comes
    // after it.
    void PostResult(int code, const std::string& addresses);

    ResultFunction resultFunction_ = nullptr;
    std::string host_;
    void* task_ = nullptr;

    Runtime::CriticalSection postLock_;
    bool cancelled_ = false;  // guarded by postLock_
};
