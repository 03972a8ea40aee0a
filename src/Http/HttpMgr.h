// The task manager of one HTTP engine: keeps the engine's tasks in the order
// they came, starts up to ten at a time, delays retries, and routes
// transfer events to the task that owns the transfer. Main thread only.
//
// A listed task is in one of three states:
//   waiting        neither scheduled nor running; Schedule offers it Start
//   retry pending  skipped by Schedule until CheckRetry has seen 500 ms pass
//   scheduled      counted in `running`; leaves through RemoveTask (Stop)
#pragma once

#include <cstdint>
#include <vector>

#include "Http/CurlHttp.h"

class CHttpBase;

class CHttpMgr : public CurlListener {
public:
    static constexpr unsigned kMaxRunning = 10;
    // A task waits more than this long before a retry.
    static constexpr DWORD kRetryDelayMs = 500;

    CHttpMgr() = default;
    virtual ~CHttpMgr() = default;  // leaves the tasks alone
    CHttpMgr(const CHttpMgr&) = delete;
    CHttpMgr& operator=(const CHttpMgr&) = delete;

    void OnCurlDone(CCurlBase* curl, int code) override;
    void OnCurlRecv(CCurlBase* curl, int bytes) override;
    void OnCurlSend(CCurlBase*, int) override {}
    void OnCurlHttpCode(CCurlBase* curl, int status) override;
    void OnCurlRemoved(CCurlBase*, int) override {}
    void OnCurlAdded(CCurlBase*, int) override {}

    // Lists the task (once) and schedules unless it waits for a retry.
    // Returns the id in the low half and the creation tick in the high half.
    virtual uint64_t AddTask(CHttpBase* task);
    // Unlists the task; a scheduled task frees its running slot. True.
    virtual bool RemoveTask(CHttpBase* task);

    // The listed task whose current transfer is `curl`, or null.
    CHttpBase* FindTask(CCurlBase* curl) const;
    // Forgets every task (clearing their manager and workshop pointers).
    void ClearTasks();
    void Schedule();
    // Gives every running task its once-per-second OnTimer.
    void ReportProgress();
    // Releases tasks whose retry wait has passed, then schedules.
    void CheckRetry();

    unsigned runningCount() const { return running_; }
    size_t taskCount() const { return tasks_.size(); }
    bool IsListed(const CHttpBase* task) const;

private:
    std::vector<CHttpBase*> tasks_;  // not owned
    unsigned maxRunning_ = kMaxRunning;
    unsigned running_ = 0;
};
