#include "Http/HttpDownloadFile.h"

#include <cwchar>
#include <map>
#include <memory>

#include "Http/DownloadWriteFile.h"
#include "Http/HttpEngines.h"
#include "Http/HttpMgr.h"
#include "Runtime/FileSize.h"
#include "Runtime/Logger.h"
#include "Runtime/MainThreadDispatch.h"
#include "Runtime/StringUtils.h"

namespace {

constexpr const wchar_t* kLogSource = L".\\Http\\HttpDownloadFile";
// Hosts shorter than this are not resolved.
constexpr size_t kMinHostBytes = 3;
// Backup URLs shorter than this are dropped.
constexpr size_t kMinUrlChars = 3;
// Resolved addresses this short or shorter are skipped.
constexpr size_t kMaxSkippedAddressChars = 7;
constexpr DWORD kResolverStopMs = 500;
constexpr DWORD kResolverJoinMs = 100;

// Resolutions in flight, by ticket. Main thread only.
std::map<uintptr_t, CHttpDownloadFile*>& Resolutions() {
    static std::map<uintptr_t, CHttpDownloadFile*> resolutions;
    return resolutions;
}
uintptr_t g_lastTicket = 0;

bool IsHostChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'.';
}

}  // namespace

std::wstring HostFromUrl(const std::wstring& url) {
    const size_t scheme = url.find(L"://");
    const size_t begin = scheme == std::wstring::npos ? 0 : scheme + 3;
    size_t end = begin;
    while (end < url.size() && IsHostChar(url[end])) ++end;
    return url.substr(begin, end - begin);
}

CHttpDownloadFile::CHttpDownloadFile() : CHttpBase(DownloadEngineWorkshop(), nullptr) {}

CHttpDownloadFile::~CHttpDownloadFile() { Stop(); }

bool CHttpDownloadFile::Download(const std::wstring& url, const std::wstring& localPath,
                                 uint64_t expectedSize, void* userData, const std::wstring& backupUrls,
                                 DownloadFinishCallback finish, DownloadProgressCallback progress) {
    if (running_) return false;
    // A new download never inherits the URLs of an earlier one.
    urls_.clear();
    if (!backupUrls.empty()) SplitString(backupUrls, urls_);
    if (!url.empty()) {
        std::vector<std::wstring> kept;
        for (const std::wstring& backup : urls_)
            if (backup != url && backup.size() >= kMinUrlChars) kept.push_back(backup);
        urls_.swap(kept);
    }
    // Even an empty URL replaces the earlier one: a spare resolution must
    // never fetch what an earlier download asked for.
    primaryUrl_ = url;
    ForgetResolution();
    // Nor the attempts and pending retry of a download stopped between tries.
    attempts_ = 0;
    retryPending_ = false;
    urls_.insert(urls_.begin(), url);
    localPath_ = localPath;
    expectedSize_ = expectedSize;
    finish_ = finish;
    progress_ = progress;
    userData_ = userData;
    outcomeReported_ = false;
    return SubmitDownloadTask(this);
}

std::wstring CHttpDownloadFile::GetUrl() { return urls_.empty() ? std::wstring() : urls_.front(); }

bool CHttpDownloadFile::Start() {
    if (running_ || outcomeReported_) return false;
    ReleaseCurl();
    curl_ = new CCurlHttp(manager_);
    curl_->SetReportProgress(true);

    auto sink = std::make_unique<DownloadWriteFile>();
    if (!sink->Open(localPath_)) {
        ReportOutcome(sink->errorType, sink->errorCode);
        return false;
    }
    DownloadWriteFile* file = sink.get();
    curl_->SetBodySink(std::move(sink));
    FileLogger::Instance().LogAt(kLogInfo, __LINE__, kLogSource, L"CHttpDownloadFile::Start() localPath:%s",
                                 localPath_.c_str());

    int64_t found = LocalFileSize(localPath_);
    if (found < 0) {
        FileLogger::Instance().LogAt(kLogInfo, __LINE__, kLogSource, L"无需断点下载 %s ", localPath_.c_str());
        found = 0;
    }
    const uint64_t pos = static_cast<uint64_t>(found);
    const wchar_t* path = localPath_.c_str();
    const long long signedPos = static_cast<long long>(pos);
    const long long expected = static_cast<long long>(expectedSize_);
    if (expectedSize_ == 0 || pos > expectedSize_) {
        if (expectedSize_ != 0) {
            LOG_TRACE_PAIR(kLogError, kLogError, kLogSource, L"%s文件大小(%lld)大于预期(%lld)大小  ", path,
                           signedPos, expected);
        }
        curl_->SetResumeRequested(false);
        file->Reset();
        rangeStart_ = 0;
    } else if (pos == expectedSize_) {
        LOG_TRACE_PAIR(kLogError, kLogInfo, kLogSource, L"文件大小等于预计大小，下载已完成 %s pos:%lld", path,
                       signedPos);
        ReleaseCurl();  // closes the file, so the owner may move it at once
        ReportOutcome(kHttpErrOk, 0);
        return false;
    } else if (pos > 0) {
        LOG_TRACE_PAIR(kLogError, kLogInfo, kLogSource, L"开始断点下载 %s pos:%lld", path, signedPos);
        curl_->SetResumeRequested(true);
        rangeStart_ = pos;
    } else {
        LOG_TRACE_PAIR(kLogError, kLogInfo, kLogSource, L"非断点 %s pos:%lld", path, signedPos);
        curl_->SetResumeRequested(false);
        rangeStart_ = 0;
    }
    return CHttpBase::Start();
}

bool CHttpDownloadFile::Stop() {
    received_ = 0;
    sinceLastReport_ = 0;
    contentLength_ = 0;
    ForgetResolution();
    return CHttpBase::Stop();
}

void CHttpDownloadFile::OnHttpCode(int status) {
    if (status >= 300 && status <= 399) {
        ConsoleLogger::Instance().LogAt(kLogInfo, __LINE__, kLogSource, L"重定向中... url:%s", GetUrl().c_str());
        FileLogger::Instance().LogAt(kLogInfo, __LINE__, kLogSource, L"重定向中...  url:%s", GetUrl().c_str());
        return;  // libcurl follows the redirect
    }
    RecordError(kHttpErrHttp, status);
    if (status == 200 && curl_->resumeRequested()) {
        LOG_PAIR(kLogInfo, kLogSource, L"不支持断点续传 url:%s", GetUrl().c_str());
        rangeStart_ = 0;  // the transfer has emptied the file
    }
    std::wstring value;
    if (!curl_->HeaderValue(L"Content-Length", &value)) return;
    const uint64_t length = _wcstoui64(value.c_str(), nullptr, 10);
    if (length == 0) return;
    contentLength_ = length;
    const uint64_t total = rangeStart_ + length;
    if (expectedSize_ != 0 && expectedSize_ != total) {
        LOG_TRACE_PAIR(kLogError, kLogError, kLogSource, L"长度不一致 预期值:%lld 实际值:%lld",
                       static_cast<long long>(expectedSize_), static_cast<long long>(total));
        Stop();
        ReportOutcome(kHttpErrUser, kErrLengthMismatch);
        return;
    }
    if (progress_) progress_(userData_, total, rangeStart_, 0);
}

void CHttpDownloadFile::OnRecvBytes(int64_t count) { sinceLastReport_ += static_cast<uint32_t>(count); }

void CHttpDownloadFile::OnTimer() {
    if (!running_ || !progress_ || contentLength_ == 0) return;
    speedSamples_.push_back(sinceLastReport_);
    received_ += sinceLastReport_;
    sinceLastReport_ = 0;
    if (speedSamples_.size() > kSpeedSamples) speedSamples_.pop_front();
    uint32_t sum = 0;
    for (uint32_t sample : speedSamples_) sum += sample;
    // Divided by the full window even while it fills, so the speed starts low.
    const uint32_t speed = sum / kSpeedSamples;
    progress_(userData_, rangeStart_ + contentLength_, rangeStart_ + received_, speed);
}

void CHttpDownloadFile::Done(CURLcode code) {
    if (!running_) return;
    Stop();
    RecordError(kHttpErrCurl, code);
    const HttpOutcome outcome = ClassifyError();
    ClearErrors();

    if (attempts_ <= maxRetries_ && outcome.type == kHttpErrCurl && outcome.code != 0) {
        LOG_TRACE_PAIR(kLogError, kLogInfo, kLogSource, L"CHttpDownloadFile::Done() 重试.... code:%d errtype:%d  url:%s ",
                       outcome.code, kHttpErrCurl, GetUrl().c_str());
        BeginRetryWait();
        SubmitDownloadTask(this);
        return;
    }

    const bool failed = (outcome.type == kHttpErrHttp || outcome.type == kHttpErrCurl) && outcome.code != 0;
    if (failed && urls_.size() > 1) {
        attempts_ = 0;
        const std::wstring failedUrl = urls_.front();
        urls_.erase(urls_.begin());
        LOG_TRACE_PAIR(kLogError, kLogInfo, kLogSource,
                       L"CHttpDownloadFile::Done() type:%d code:%d  url:%s 下载失败，尝试使用备用地址:%s",
                       outcome.type, outcome.code, failedUrl.c_str(), GetUrl().c_str());
        BeginRetryWait();
        SubmitDownloadTask(this);
        return;
    }

    if (failed && !primaryUrl_.empty()) {
        // A host too short to resolve (or a resolver that cannot start)
        // ends the download here rather than leaving the owner waiting.
        const std::string host = WideToUtf8(HostFromUrl(primaryUrl_));
        if (host.size() >= kMinHostBytes && StartSpareResolution(host, outcome)) return;
    }

    if (outcome.type != kHttpErrOk) {
        LOG_TRACE_PAIR(kLogError, kLogInfo, kLogSource, L"CHttpDownloadFile::Done()  code:%d errtype:%d  url:%s ",
                       outcome.code, outcome.type, GetUrl().c_str());
    }
    urls_.clear();
    ReportOutcome(outcome.type, outcome.code);
}

bool CHttpDownloadFile::StartSpareResolution(const std::string& host, const HttpOutcome& failure) {
    attempts_ = 0;
    LOG_TRACE_PAIR(kLogError, kLogInfo, kLogSource,
                   L"CHttpDownloadFile::Done() 开始重试DNS解析.... type:%d code:%d  url:%s ", failure.type,
                   failure.code, primaryUrl_.c_str());
    BeginRetryWait();
    ForgetResolution();
    spareFailure_ = failure;
    resolutionTicket_ = ++g_lastTicket;
    Resolutions()[resolutionTicket_] = this;
    resolver_.SetResultFunction(&CHttpDownloadFile::OnSpareDNSResult);
    resolver_.SetTask(reinterpret_cast<void*>(resolutionTicket_));
    resolver_.SetHost(host);
    if (resolver_.Start()) return true;
    ForgetResolution();
    retryPending_ = false;
    return false;
}

void CHttpDownloadFile::ForgetResolution() {
    if (resolutionTicket_ != 0) {
        Resolutions().erase(resolutionTicket_);
        resolutionTicket_ = 0;
    }
    resolver_.Stop(kResolverStopMs);
}

void CHttpDownloadFile::OnSpareDNSResult(int code, void* ticket, const std::string& host,
                                         const std::string& addresses) {
    const std::wstring wideHost = Utf8ToWide(host);
    if (code == 0 && !addresses.empty()) {
        const std::wstring list = Utf8ToWide(addresses);
        LOG_TRACE_PAIR(kLogError, kLogInfo, kLogSource, L"OnSpareDNSResult 解析成功 code:%d, domain:%s, ip_list:%s",
                       code, wideHost.c_str(), list.c_str());
    } else {
        LOG_TRACE_PAIR(kLogError, kLogInfo, kLogSource, L"OnSpareDNSResult 失败 code:%d, domain:%s", code,
                       wideHost.c_str());
    }
    auto found = Resolutions().find(reinterpret_cast<uintptr_t>(ticket));
    if (found == Resolutions().end()) {
        LOG_TRACE_PAIR(kLogError, kLogError, kLogSource, L"DNS回调失效 找不到相关任务 id:0x%x %s", 0,
                       wideHost.c_str());
        return;
    }
    CHttpDownloadFile* task = found->second;
    Resolutions().erase(found);
    task->resolutionTicket_ = 0;
    task->OnDNSResult(code, wideHost, Utf8ToWide(addresses));
}

void CHttpDownloadFile::OnDNSResult(int code, const std::wstring& host, const std::wstring& addresses) {
    resolver_.Stop(kResolverJoinMs);
    // The pass either yields addresses to try or ends the download with the
    // failure that started it: never with type 0.
    const HttpOutcome failure = spareFailure_;
    if (primaryUrl_.empty()) {
        LOG_TRACE_PAIR(kLogError, kLogInfo, kLogSource,
                       L"CHttpDownloadFile::OnDNSResult() 状态不对，忽略 type:%d code:%d  url:%s ", failure.type,
                       code, GetUrl().c_str());
        PostOutcome(failure.type, failure.code);
        return;
    }

    urls_.clear();
    std::vector<std::wstring> resolved;
    if (!addresses.empty()) SplitString(addresses, resolved);
    for (const std::wstring& address : resolved)
        if (address.size() > kMaxSkippedAddressChars) urls_.push_back(ReplaceAll(primaryUrl_, host, address));

    if (!host.empty() && !urls_.empty()) {
        attempts_ = 0;
        LOG_TRACE_PAIR(kLogError, kLogInfo, kLogSource,
                       L"CHttpDownloadFile::Done() 重试DNS解析到的ip列表.... type:%d code:%d  url:%s ", failure.type,
                       code, GetUrl().c_str());
        BeginRetryWait();
        primaryUrl_.clear();
        SubmitDownloadTask(this);
        return;
    }
    LOG_TRACE_PAIR(kLogError, kLogInfo, kLogSource,
                   L"CHttpDownloadFile::OnDNSResult() 解析DNS失败 type:%d code:%d  url:%s ", failure.type, code,
                   GetUrl().c_str());
    PostOutcome(failure.type, failure.code);
}

void CHttpDownloadFile::ReportOutcome(int type, int code) {
    outcomeReported_ = true;
    if (finish_) finish_(userData_, type, code);
}

void CHttpDownloadFile::PostOutcome(int type, int code) {
    outcomeReported_ = true;
    if (finish_) RunOnMainThread(finish_, userData_, type, code);
}
