// A task of an HTTP engine: one logical request that may take several
// attempts, each with a fresh transfer. Holds the libcurl options, the error
// record and its classification, and the retry counters that the task
// manager and the download task rely on. Main thread only.
#pragma once

#include <windows.h>

#include <curl/curl.h>

#include <cstdint>
#include <string>

#include "Http/CurlHttp.h"
#include "Http/HttpErrors.h"
#include "Runtime/ProtoValue.h"

class CCurlWorkshop;
class CHttpMgr;

// An outcome pair.
struct HttpOutcome {
    int type = kHttpErrOk;  // an HttpErrType value
    int code = 0;
};

class CHttpBase {
public:
    enum Method { kGet = 1, kPost = 2 };
    // Transport errors are retried this many times per URL (three attempts).
    static constexpr unsigned kMaxRetries = 2;
    static constexpr int kConnectTimeoutSeconds = 5;
    // A transfer that moves less than this many bytes per second for
    // LowSpeedSeconds() is ended as a transport error, so the retry and
    // resume path runs instead of waiting for ever.
    static constexpr long kLowSpeedLimitBytes = 1;

    CHttpBase(CCurlWorkshop* workshop, CHttpMgr* manager);
    virtual ~CHttpBase();
    CHttpBase(const CHttpBase&) = delete;
    CHttpBase& operator=(const CHttpBase&) = delete;

    // The URL of the next attempt.
    virtual std::wstring GetUrl() { return url_; }
    // Configures the current transfer's easy handle. False when libcurl
    // could not create one.
    virtual bool Prepare();
    // Starts an attempt; false when one is under way.
    virtual bool Start();
    // Ends the attempt and takes the task out of its manager. Always true.
    virtual bool Stop();
    virtual void Done(CURLcode code) = 0;
    virtual void OnHttpCode(int status) = 0;
    // Once per second while running (download progress).
    virtual void OnTimer() {}
    virtual void OnRecvBytes(int64_t) {}

    // Reads the error record: the first failure among sys, user, http, curl.
    HttpOutcome ClassifyError() const;

    // Binds the task to the manager it is submitted to (SubmitTask).
    void BindManager(CHttpMgr* manager) { manager_ = manager; }
    void SetUrl(const std::wstring& url) { url_ = url; }
    void SetMethod(Method method) { method_ = method; }
    bool running() const { return running_; }
    bool scheduled() const { return scheduled_; }
    bool retryPending() const { return retryPending_; }
    int id() const { return id_; }
    unsigned attempts() const { return attempts_; }
    CHttpMgr* manager() const { return manager_; }
    CCurlHttp* currentTransfer() const { return curl_.get(); }

protected:
    // Clears the current transfer's valid flag, closes its streams and drops
    // the task's reference.
    void ReleaseCurl();
    // error record[type]["code"] = code
    void RecordError(int type, int64_t code);
    void ClearErrors() { errors_ = ProtoValue(ProtoValue::kMap); }
    // Waits for the manager's retry check before the next Start.
    void BeginRetryWait();

    CRefPtr<CCurlHttp> curl_;
    CHttpMgr* manager_ = nullptr;
    CCurlWorkshop* workshop_ = nullptr;
    bool running_ = false;
    std::wstring url_;
    int id_ = 0;
    DWORD creationTick_ = 0;
    Method method_ = kGet;
    uint64_t rangeStart_ = 0;  // 0: the whole resource
    unsigned attempts_ = 0;
    bool scheduled_ = false;
    ProtoValue errors_{ProtoValue::kMap};
    unsigned maxRetries_ = kMaxRetries;
    int connectTimeout_ = kConnectTimeoutSeconds;
    bool retryPending_ = false;
    DWORD retryTick_ = 0;

private:
    friend class CHttpMgr;
};

// Seconds of near silence after which a transfer is ended: 60, or in builds
// made for tests the value of INSTALLER_LOW_SPEED_SECONDS when set.
long LowSpeedSeconds();
