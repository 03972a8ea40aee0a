// One HTTP transfer: a libcurl easy handle plus the state its callbacks
// need while the workshop thread drives it.
//
// Threads: the callbacks (and the On* operations they call) run on the
// workshop thread; the listener's operations run on the main thread, reached
// through posted tasks that each hold a reference to the transfer. A
// per-transfer lock serialises the callbacks against the main thread's
// CloseStreams and header reads, so a sink is never closed under a write in
// progress and header values are never read while being written.
#pragma once

#include <windows.h>

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "Http/CurlHandles.h"
#include "Http/Streams.h"
#include "Runtime/CriticalSection.h"
#include "Runtime/ProtoValue.h"
#include "Runtime/RefCounted.h"

class CCurlBase;

// Receives a transfer's events on the main thread (the task manager).
class CurlListener {
public:
    virtual void OnCurlDone(CCurlBase* curl, int code) = 0;       // the CURLcode
    virtual void OnCurlRecv(CCurlBase* curl, int bytes) = 0;      // body bytes since last report
    virtual void OnCurlSend(CCurlBase* curl, int bytes) = 0;      // body bytes of the last read
    virtual void OnCurlHttpCode(CCurlBase* curl, int status) = 0;
    virtual void OnCurlRemoved(CCurlBase* curl, int zero) = 0;
    virtual void OnCurlAdded(CCurlBase* curl, int zero) = 0;

protected:
    ~CurlListener() = default;
};

class CCurlBase : public CRefThreadSafeBase<CCurlBase> {
public:
    explicit CCurlBase(CurlListener* listener) : listener_(listener) {}
    virtual ~CCurlBase() = default;

    // Workshop thread, with the transfer lock held and the transfer valid.
    // Each returns the bytes accepted or supplied; less than offered makes
    // libcurl end the transfer with a write error.
    virtual size_t OnRecieveHeader(const char* data, size_t length) = 0;
    virtual size_t OnRecieveBody(const char* data, size_t length) = 0;
    virtual size_t OnSendBody(char* buffer, size_t capacity) = 0;
    // Main thread. Waits for a callback in progress, then closes the streams.
    virtual void CloseStreams() = 0;

    // libcurl callbacks; the user pointer is the transfer.
    static size_t HeaderCallback(char* data, size_t size, size_t count, void* transfer);
    static size_t WriteCallback(char* data, size_t size, size_t count, void* transfer);
    static size_t ReadCallback(char* buffer, size_t size, size_t count, void* transfer);

    CURL* easy() const { return easy_.get(); }
    // Creates the easy handle, or resets the one there is. False when libcurl
    // cannot create one.
    bool CreateOrResetEasy();
    // Frees the easy handle (the workshop, once libcurl is done with it).
    void FreeEasy() { easy_.reset(); }

    CurlListener* listener() const { return listener_; }
    bool valid() const { return valid_.load(std::memory_order_acquire); }
    // The owner gives the transfer up: every later callback refuses data.
    void Invalidate() { valid_.store(false, std::memory_order_release); }
    // Set before the transfer is handed to the workshop.
    void SetReportProgress(bool report) { reportProgress_ = report; }

protected:
    Runtime::CriticalSection& transferLock() { return lock_; }

private:
    // With the lock held: posts the received count when a report is due.
    void MaybeReportReceived(size_t accepted);
    // With the lock held: true, and the report clock restarted, when this
    // transfer reports progress and its last report is over 100 ms old.
    bool ReportDue();

    Http::UniqueEasyHandle easy_;
    CurlListener* const listener_;
    std::atomic<bool> valid_{true};
    bool reportProgress_ = false;
    uint64_t receivedSinceReport_ = 0;
    DWORD lastReportTick_ = 0;
    Runtime::CriticalSection lock_;
};

// An HTTP transfer: parses response headers, judges the status, writes the
// body into a sink and feeds a request body from a source.
class CCurlHttp : public CCurlBase {
public:
    // The status before any is known.
    static constexpr int kNoStatus = 700;
    // Header fields stored per response; a server that sends more is faulty.
    static constexpr size_t kMaxHeaderBytes = 256 * 1024;

    explicit CCurlHttp(CurlListener* listener) : CCurlBase(listener) {}
    ~CCurlHttp() override;

    size_t OnRecieveHeader(const char* data, size_t length) override;
    size_t OnRecieveBody(const char* data, size_t length) override;
    size_t OnSendBody(char* buffer, size_t capacity) override;
    void CloseStreams() override;

    // Main thread, before the transfer is handed to the workshop.
    void SetBodySink(std::unique_ptr<OBaseStream> sink) { sink_ = std::move(sink); }
    void SetBodySource(std::unique_ptr<IBaseStream> source) { source_ = std::move(source); }
    OBaseStream* bodySink() const { return sink_.get(); }
    IBaseStream* bodySource() const { return source_.get(); }
    // Send counters to 0, status unknown, no header fields.
    void ResetForAttempt();
    void SetSendTotal(uint64_t total) { sendTotal_ = total; }
    void SetResumeRequested(bool requested) { resumeRequested_ = requested; }
    bool resumeRequested() const { return resumeRequested_; }

    // Any thread: a header field of the response being received (exact
    // name), copied under the transfer lock. The fields of a response replace
    // those of the response before it, so a redirect's fields never stand
    // for the final answer.
    bool HeaderValue(const std::wstring& name, std::wstring* value);
    int httpCode();

private:
    ProtoValue headers_{ProtoValue::kMap};
    size_t headerBytes_ = 0;
    int httpCode_ = kNoStatus;
    uint64_t sendTotal_ = 0;
    uint64_t sendPosition_ = 0;
    bool resumeRequested_ = false;
    std::unique_ptr<OBaseStream> sink_;
    std::unique_ptr<IBaseStream> source_;
};

// Events posted to the main thread; each holds a reference to the transfer
// and ends in its listener (if it has one).
void PostCurlDone(CCurlBase* curl, CURLcode code);
void PostCurlRecv(CCurlBase* curl, unsigned bytes);
void PostCurlSend(CCurlBase* curl, unsigned bytes);
void PostCurlHttpCode(CCurlBase* curl, int status);
void PostCurlRemoved(CCurlBase* curl);
void PostCurlAdded(CCurlBase* curl);
