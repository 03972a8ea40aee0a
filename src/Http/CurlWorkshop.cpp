#include "Http/CurlWorkshop.h"

#include <winsock2.h>

#include <algorithm>

#include "Runtime/Logger.h"

namespace {

constexpr const wchar_t* kLogSource = L".\\Http\\CurlWorkshop";
// Longest wait for socket activity per pass, so queue changes are seen soon.
constexpr long kSelectTimeoutUs = 5000;

CCurlWorkshop::Queue::iterator FindByEasy(CCurlWorkshop::Queue& queue, CURL* easy) {
    return std::find_if(queue.begin(), queue.end(),
                        [easy](const CRefPtr<CCurlBase>& c) { return c->easy() == easy; });
}

}  // namespace

CCurlWorkshop::~CCurlWorkshop() {
    // The thread must not outlive the multi handle it drives.
    Stop(INFINITE);
    Uninit();
}

void CCurlWorkshop::Init() {
    Runtime::CriticalSectionLock guard(lock_);
    if (multi_) return;
    multi_.reset(curl_multi_init());
    FileLogger::Instance().LogAt(kLogInfo, __LINE__, kLogSource, L"CCurlWorkshop::Init() %x",
                                 reinterpret_cast<uintptr_t>(multi_.get()));
}

bool CCurlWorkshop::AddCurl(const CRefPtr<CCurlBase>& curl) {
    Runtime::CriticalSectionLock guard(lock_);
    if (!multi_) return false;
    pendingAdd_.push_back(curl);
    auto waiting = std::find_if(pendingRemove_.begin(), pendingRemove_.end(),
                                [&](const CRefPtr<CCurlBase>& c) { return c.get() == curl.get(); });
    if (waiting != pendingRemove_.end()) pendingRemove_.erase(waiting);
    return true;
}

bool CCurlWorkshop::RemoveCurl(const CRefPtr<CCurlBase>& curl) {
    Runtime::CriticalSectionLock guard(lock_);
    if (!multi_) return false;
    pendingRemove_.push_back(curl);
    return true;
}

void CCurlWorkshop::Uninit() {
    Runtime::CriticalSectionLock guard(lock_);
    if (multi_) {
        for (const CRefPtr<CCurlBase>& curl : running_) {
            curl_multi_remove_handle(multi_.get(), curl->easy());
            curl->FreeEasy();
        }
        multi_.reset();
    }
    pendingAdd_.clear();
    running_.clear();
    pendingRemove_.clear();
}

void CCurlWorkshop::Run() {
    while (!StopRequested()) {
        const int busy = Perform();
        const int handled = ReadMessages();
        if (busy || handled) continue;
        if (StopRequested()) break;
        Sleep(1);
    }
}

int CCurlWorkshop::Perform() {
    if (StopRequested()) return 0;
    SyncQueues();

    fd_set readSet, writeSet, errorSet;
    int maxFd = -1;
    do {
        FD_ZERO(&readSet);
        FD_ZERO(&writeSet);
        FD_ZERO(&errorSet);
        curl_multi_fdset(multi_.get(), &readSet, &writeSet, &errorSet, &maxFd);
        if (maxFd < 0) break;
        timeval timeout = {0, kSelectTimeoutUs};
        if (select(maxFd + 1, &readSet, &writeSet, &errorSet, &timeout) != SOCKET_ERROR) break;
    } while (WSAGetLastError() == WSAEINTR);

    int runningHandles = 0;
    while (curl_multi_perform(multi_.get(), &runningHandles) == CURLM_CALL_MULTI_PERFORM) {
    }
    return runningHandles > 0 ? 1 : 0;
}

void CCurlWorkshop::SyncQueues() {
    Runtime::CriticalSectionLock guard(lock_);
    for (const CRefPtr<CCurlBase>& curl : pendingAdd_)
        if (!curl->valid()) pendingRemove_.push_back(curl);
    for (const CRefPtr<CCurlBase>& curl : running_)
        if (!curl->valid()) pendingRemove_.push_back(curl);

    // Removals first: a transfer stopped while still waiting to be added
    // leaves the pending-add queue here and never reaches the multi handle.
    for (size_t n = pendingRemove_.size(); n > 0; --n) {
        CRefPtr<CCurlBase> curl = pendingRemove_.front();
        DetachCurl(curl);
        PostCurlRemoved(curl.get());
        pendingRemove_.pop_front();
    }

    for (size_t n = pendingAdd_.size(); n > 0; --n) {
        CRefPtr<CCurlBase> curl = pendingAdd_.front();
        pendingAdd_.pop_front();
        if (curl->easy() && curl_multi_add_handle(multi_.get(), curl->easy()) == CURLM_OK) {
            PostCurlAdded(curl.get());
            running_.push_back(curl);
        } else if (curl->valid()) {
            // Its owner waits for an outcome: report the refusal as one.
            PostCurlDone(curl.get(), CURLE_FAILED_INIT);
        }
    }
}

bool CCurlWorkshop::DetachCurl(const CRefPtr<CCurlBase>& curl) {
    CURL* easy = curl->easy();
    if (!easy) return false;
    auto entry = FindByEasy(running_, easy);
    if (entry != running_.end()) {
        curl_multi_remove_handle(multi_.get(), easy);
        curl->FreeEasy();
        running_.erase(entry);
    } else {
        entry = FindByEasy(pendingAdd_, easy);
        if (entry != pendingAdd_.end()) pendingAdd_.erase(entry);
    }
    return true;
}

int CCurlWorkshop::ReadMessages() {
    int handled = 0;
    while (!StopRequested()) {
        int left = 0;
        CURLMsg* message = curl_multi_info_read(multi_.get(), &left);
        if (!message) break;
        if (message->msg != CURLMSG_DONE) continue;
        Runtime::CriticalSectionLock guard(lock_);
        ++handled;
        auto entry = FindByEasy(running_, message->easy_handle);
        if (entry == running_.end()) continue;  // already detached
        CRefPtr<CCurlBase> curl = *entry;  // the posted task keeps it alive
        PostCurlDone(curl.get(), message->data.result);
        DetachCurl(curl);
    }
    return handled;
}
