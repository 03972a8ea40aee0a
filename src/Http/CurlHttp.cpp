#include "Http/CurlHttp.h"

#include <cerrno>
#include <cstring>

#include "Runtime/Logger.h"
#include "Runtime/MainThreadDispatch.h"
#include "Runtime/StringUtils.h"

namespace {

constexpr const wchar_t* kLogSource = L".\\Http\\CurlHttp";
// Progress events are limited to one per this many milliseconds per
// transfer, so a fast link does not flood the main thread.
constexpr DWORD kReportIntervalMs = 100;
// How much of a refused error body goes into the log.
constexpr size_t kLoggedErrorBodyBytes = 1000;

bool IsErrorStatus(int status) { return status > 399 || status < 100; }

// Header text without surrounding blanks and line ends; may become empty.
std::wstring TrimHeaderText(const char* begin, const char* end) {
    while (begin < end && strchr(" \t\r\n", *begin)) ++begin;
    while (end > begin && strchr(" \t\r\n", end[-1])) --end;
    return AnsiToWide(std::string(begin, end));
}

// The main-thread end of every event: the listener's operation, when the
// transfer has a listener.
template <void (CurlListener::*Operation)(CCurlBase*, int), typename Value>
void Deliver(const CRefPtr<CCurlBase>& curl, Value value) {
    if (CurlListener* listener = curl->listener()) {
        (listener->*Operation)(curl.get(), static_cast<int>(value));
    }
}

}  // namespace

void PostCurlDone(CCurlBase* curl, CURLcode code) {
    RunOnMainThread(&Deliver<&CurlListener::OnCurlDone, CURLcode>, CRefPtr<CCurlBase>(curl), code);
}
void PostCurlRecv(CCurlBase* curl, unsigned bytes) {
    RunOnMainThread(&Deliver<&CurlListener::OnCurlRecv, unsigned>, CRefPtr<CCurlBase>(curl), bytes);
}
void PostCurlSend(CCurlBase* curl, unsigned bytes) {
    RunOnMainThread(&Deliver<&CurlListener::OnCurlSend, unsigned>, CRefPtr<CCurlBase>(curl), bytes);
}
void PostCurlHttpCode(CCurlBase* curl, int status) {
    RunOnMainThread(&Deliver<&CurlListener::OnCurlHttpCode, int>, CRefPtr<CCurlBase>(curl), status);
}
void PostCurlRemoved(CCurlBase* curl) {
    RunOnMainThread(&Deliver<&CurlListener::OnCurlRemoved, int>, CRefPtr<CCurlBase>(curl), 0);
}
void PostCurlAdded(CCurlBase* curl) {
    RunOnMainThread(&Deliver<&CurlListener::OnCurlAdded, int>, CRefPtr<CCurlBase>(curl), 0);
}

// --- CCurlBase ---------------------------------------------------------------

bool CCurlBase::CreateOrResetEasy() {
    if (easy_) {
        curl_easy_reset(easy_.get());
        return true;
    }
    easy_.reset(curl_easy_init());
    return easy_.valid();
}

size_t CCurlBase::HeaderCallback(char* data, size_t size, size_t count, void* transfer) {
    CCurlBase* self = static_cast<CCurlBase*>(transfer);
    if (!self) return 0;
    Runtime::CriticalSectionLock guard(self->lock_);
    if (!self->valid()) return 0;
    return self->OnRecieveHeader(data, size * count);
}

size_t CCurlBase::WriteCallback(char* data, size_t size, size_t count, void* transfer) {
    CCurlBase* self = static_cast<CCurlBase*>(transfer);
    if (!self) return 0;
    CRefPtr<CCurlBase> hold(self);
    Runtime::CriticalSectionLock guard(self->lock_);
    if (!self->valid()) return 0;
    const size_t accepted = self->OnRecieveBody(data, size * count);
    self->MaybeReportReceived(accepted);
    return accepted;
}

size_t CCurlBase::ReadCallback(char* buffer, size_t size, size_t count, void* transfer) {
    CCurlBase* self = static_cast<CCurlBase*>(transfer);
    if (!self) return 0;
    CRefPtr<CCurlBase> hold(self);
    Runtime::CriticalSectionLock guard(self->lock_);
    if (!self->valid()) return 0;
    const size_t supplied = self->OnSendBody(buffer, size * count);
    if (self->ReportDue()) PostCurlSend(self, static_cast<unsigned>(supplied));
    return supplied;
}

void CCurlBase::MaybeReportReceived(size_t accepted) {
    receivedSinceReport_ += accepted;
    if (!ReportDue()) return;
    PostCurlRecv(this, static_cast<unsigned>(receivedSinceReport_));
    receivedSinceReport_ = 0;
}

bool CCurlBase::ReportDue() {
    if (!reportProgress_) return false;
    const DWORD now = GetTickCount();
    if (now - lastReportTick_ <= kReportIntervalMs) return false;
    lastReportTick_ = now;
    return true;
}

// --- CCurlHttp ---------------------------------------------------------------

CCurlHttp::~CCurlHttp() {
    if (sink_) sink_->Close();
    sink_.reset();
    if (source_) source_->Close();
    source_.reset();
}

void CCurlHttp::ResetForAttempt() {
    Runtime::CriticalSectionLock guard(transferLock());
    sendTotal_ = 0;
    sendPosition_ = 0;
    httpCode_ = kNoStatus;
    headers_ = ProtoValue(ProtoValue::kMap);
    headerBytes_ = 0;
}

size_t CCurlHttp::OnRecieveHeader(const char* data, size_t length) {
    // The status line opens a response; the fields of the one before it
    // (a redirect) no longer describe what is arriving.
    if (length >= 5 && memcmp(data, "HTTP/", 5) == 0) {
        headers_ = ProtoValue(ProtoValue::kMap);
        headerBytes_ = 0;
    }

    // A redirect's successor may now be arriving: ask libcurl for its status.
    if (httpCode_ == kNoStatus || (httpCode_ >= 300 && httpCode_ <= 399)) {
        long status = 0;
        const CURLcode rc = curl_easy_getinfo(easy(), CURLINFO_RESPONSE_CODE, &status);
        httpCode_ = static_cast<int>(status);
        if (rc != CURLE_OK || IsErrorStatus(httpCode_)) {
            LOG_PAIR(kLogError, kLogSource, L"CCurlHttp::OnRecieveHeader HTTP error code:%d httpcode:%d ",
                     static_cast<int>(rc), httpCode_);
        }
        if (httpCode_ == 200 && resumeRequested_) {
            // The server ignored the byte range and sends the whole resource.
            LOG_PAIR(kLogInfo, kLogSource, L"httpcode==200 不支持断点续传，清空文件");
            if (sink_) sink_->Reset();
        }
    }

    if (IsErrorStatus(httpCode_)) {
        PostCurlHttpCode(this, httpCode_);
        return length;
    }

    if ((length == 2 && memcmp(data, "\r\n", 2) == 0) || (length == 1 && data[0] == '\n')) {
        PostCurlHttpCode(this, httpCode_);  // end of a header block
        return length;
    }
    const char* colon = static_cast<const char*>(memchr(data, ':', length));
    if (colon && colon > data) {
        headerBytes_ += length;
        if (headerBytes_ > kMaxHeaderBytes) {
            LOG_PAIR(kLogError, kLogSource, L"CCurlHttp::OnRecieveHeader header too large:%d",
                     static_cast<int>(headerBytes_));
            return 0;
        }
        headers_[TrimHeaderText(data, colon)] = TrimHeaderText(colon + 1, data + length);
    }
    return length;
}

size_t CCurlHttp::OnRecieveBody(const char* data, size_t length) {
    if (IsErrorStatus(httpCode_)) {
        const std::string head(data, length < kLoggedErrorBodyBytes ? length : kLoggedErrorBodyBytes);
        FileLogger::Instance().LogAt(kLogError, __LINE__, kLogSource,
                                     L"CCurlHttp::OnRecieveBody HTTP error  httpcode:%d %s", httpCode_,
                                     AnsiToWide(head).c_str());
        return 0;
    }
    if (!sink_) return 0;
    const int written = sink_->Write(data, static_cast<unsigned>(length));
    if (written < 0) {
        LOG_PAIR(kLogError, kLogSource, L"CCurlHttp::OnRecieveBody  Write file error %d", sink_->errorCode);
        return 0;
    }
    return static_cast<size_t>(written);
}

size_t CCurlHttp::OnSendBody(char* buffer, size_t capacity) {
    if (!source_ || sendTotal_ == 0 || sendPosition_ >= sendTotal_) return 0;
    const uint64_t remaining = sendTotal_ - sendPosition_;
    const unsigned count = static_cast<unsigned>(capacity < remaining ? capacity : remaining);
    const int read = source_->Read(buffer, count);
    if (read < 0) {
        LOG_PAIR(kLogError, kLogSource, L"CCurlHttp::OnSendBody  Read file error %d", errno);
        return 0;
    }
    sendPosition_ += static_cast<unsigned>(read);
    return static_cast<size_t>(read);
}

void CCurlHttp::CloseStreams() {
    Runtime::CriticalSectionLock guard(transferLock());
    if (sink_) sink_->Close();
    if (source_) source_->Close();
}

bool CCurlHttp::HeaderValue(const std::wstring& name, std::wstring* value) {
    Runtime::CriticalSectionLock guard(transferLock());
    if (!headers_.HasKey(name)) return false;
    *value = headers_.Get(name).string();
    return true;
}

int CCurlHttp::httpCode() {
    Runtime::CriticalSectionLock guard(transferLock());
    return httpCode_;
}
