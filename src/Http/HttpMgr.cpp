#include "Http/HttpMgr.h"

#include <algorithm>

#include "Http/HttpBase.h"
#include "Runtime/Logger.h"

namespace {

constexpr const wchar_t* kLogSource = L".\\Http\\HttpMgr";
// Shared by both managers, so a command and a download never share an id.
int g_taskSequence = 0;

}  // namespace

uint64_t CHttpMgr::AddTask(CHttpBase* task) {
    if (IsListed(task)) {
        LOG_PAIR(kLogInfo, kLogSource, L"http请求重复添加 url:%s", task->GetUrl().c_str());
    } else {
        task->creationTick_ = GetTickCount();
        task->id_ = ++g_taskSequence;
        tasks_.push_back(task);
        if (!task->retryPending_) Schedule();
    }
    return static_cast<uint32_t>(task->id_) | (static_cast<uint64_t>(task->creationTick_) << 32);
}

bool CHttpMgr::RemoveTask(CHttpBase* task) {
    const bool wasScheduled = task->scheduled_;
    tasks_.erase(std::remove(tasks_.begin(), tasks_.end(), task), tasks_.end());
    task->scheduled_ = false;
    if (wasScheduled) {
        --running_;
        Schedule();
    }
    return true;
}

bool CHttpMgr::IsListed(const CHttpBase* task) const {
    return std::find(tasks_.begin(), tasks_.end(), task) != tasks_.end();
}

CHttpBase* CHttpMgr::FindTask(CCurlBase* curl) const {
    for (CHttpBase* task : tasks_)
        if (task->curl_.get() == curl) return task;
    return nullptr;
}

void CHttpMgr::ClearTasks() {
    for (CHttpBase* task : tasks_) {
        task->manager_ = nullptr;
        task->workshop_ = nullptr;
    }
    tasks_.clear();
    running_ = 0;
}

void CHttpMgr::Schedule() {
    const int total = static_cast<int>(tasks_.size());
    if (running_ > maxRunning_ || running_ > tasks_.size()) {
        LOG_PAIR(kLogInfo, kLogSource,
                 L"CHttpMgr::Schedule() 正在运行的任务数计算出错，重新计算中 running:%d max:%d total:%d",
                 running_, maxRunning_, total);
        running_ = static_cast<unsigned>(
            std::count_if(tasks_.begin(), tasks_.end(), [](CHttpBase* t) { return t->scheduled_; }));
    }
    LOG_PAIR(kLogInfo, kLogSource, L"CHttpMgr::Schedule() 调度任务 running:%d max:%d total:%d", running_,
             maxRunning_, total);
    if (running_ >= maxRunning_) {
        LOG_PAIR(kLogInfo, kLogSource, L"CHttpMgr::Schedule() 任务数超标 running:%d max:%d total:%d",
                 running_, maxRunning_, total);
        return;
    }
    // Start may call an owner back, and the owner may stop tasks: walk a
    // copy and skip whatever has left the list meanwhile.
    const std::vector<CHttpBase*> snapshot = tasks_;
    for (CHttpBase* task : snapshot) {
        if (!IsListed(task) || task->scheduled_ || task->running_ || task->retryPending_) continue;
        if (task->Start() && IsListed(task) && !task->scheduled_) {
            task->scheduled_ = true;
            ++running_;
        }
        if (running_ >= maxRunning_) break;
    }
}

void CHttpMgr::ReportProgress() {
    const std::vector<CHttpBase*> snapshot = tasks_;
    for (CHttpBase* task : snapshot)
        if (IsListed(task) && task->running_) task->OnTimer();
}

void CHttpMgr::CheckRetry() {
    bool released = false;
    const DWORD now = GetTickCount();
    for (CHttpBase* task : tasks_) {
        // Unsigned difference: still right when the tick count wraps.
        if (task->retryPending_ && now - task->retryTick_ > kRetryDelayMs) {
            task->retryPending_ = false;
            released = true;
        }
    }
    if (released) Schedule();
}

void CHttpMgr::OnCurlDone(CCurlBase* curl, int code) {
    if (CHttpBase* task = FindTask(curl)) task->Done(static_cast<CURLcode>(code));
}

void CHttpMgr::OnCurlRecv(CCurlBase* curl, int bytes) {
    if (CHttpBase* task = FindTask(curl)) task->OnRecvBytes(static_cast<int64_t>(bytes));
}

void CHttpMgr::OnCurlHttpCode(CCurlBase* curl, int status) {
    if (CHttpBase* task = FindTask(curl)) task->OnHttpCode(status);
}
