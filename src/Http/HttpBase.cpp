#include "Http/HttpBase.h"

#include <cwchar>

#include "Http/CurlWorkshop.h"
#include "Http/HttpMgr.h"
#include "Runtime/StringUtils.h"

namespace {

constexpr long kLowSpeedSeconds = 60;
// Schemes libcurl may use, for the first URL and for every redirect: a
// description that names file:// or anything else must fail, not read
// local files.
constexpr const char* kAllowedProtocols = "http,https";
// libcurl's receive buffer (its default is 16 KiB). Larger reads mean fewer
// passes of the workshop loop, callbacks and file writes per megabyte, which
// is what keeps a fast link from being throttled by the loop.
constexpr long kReceiveBufferBytes = 512 * 1024;

}  // namespace

long LowSpeedSeconds() {
#ifdef INSTALLER_TEST_OVERRIDES
    wchar_t value[32];
    const DWORD n = GetEnvironmentVariableW(L"INSTALLER_LOW_SPEED_SECONDS", value, ARRAYSIZE(value));
    if (n > 0 && n < ARRAYSIZE(value)) {
        const long seconds = wcstol(value, nullptr, 10);
        if (seconds > 0) return seconds;
    }
#endif
    return kLowSpeedSeconds;
}

CHttpBase::CHttpBase(CCurlWorkshop* workshop, CHttpMgr* manager)
    : manager_(manager), workshop_(workshop) {}

CHttpBase::~CHttpBase() { CHttpBase::Stop(); }

bool CHttpBase::Prepare() {
    CCurlHttp* curl = curl_.get();
    if (!curl || !curl->CreateOrResetEasy()) return false;
    curl->ResetForAttempt();
    CURL* easy = curl->easy();

    // libcurl copies string options, so the temporaries below may go.
    const std::string url = WideToAnsi(GetUrl());
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CCurlBase::HeaderCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, static_cast<CCurlBase*>(curl));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CCurlBase::WriteCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, static_cast<CCurlBase*>(curl));
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &CCurlBase::ReadCallback);
    curl_easy_setopt(easy, CURLOPT_READDATA, static_cast<CCurlBase*>(curl));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);  // this one counts: at most 5 redirects
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, static_cast<long>(connectTimeout_));
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedLimitBytes);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, LowSpeedSeconds());
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);

    if (method_ == kPost) {
        IBaseStream* source = curl->bodySource();
        const uint64_t size = source ? source->GetSize() : 0;
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(size));
        curl->SetSendTotal(size);
    } else if (rangeStart_ != 0) {
        const std::string range = std::to_string(rangeStart_) + "-";
        curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
    }
    return true;
}

bool CHttpBase::Start() {
    if (running_) return false;
    ++attempts_;
    running_ = true;
    Prepare();
    if (curl_ && workshop_) workshop_->AddCurl(curl_);
    return true;
}

bool CHttpBase::Stop() {
    if (running_) {
        running_ = false;
        if (curl_ && workshop_) workshop_->RemoveCurl(curl_);
    }
    ReleaseCurl();
    if (manager_ && manager_->RemoveTask(this)) manager_ = nullptr;
    return true;
}

void CHttpBase::ReleaseCurl() {
    if (!curl_) return;
    curl_->Invalidate();
    curl_->CloseStreams();
    curl_.Reset();
}

void CHttpBase::RecordError(int type, int64_t code) {
    const wchar_t* name = HttpErrTypeName(type);
    if (name) errors_[name][L"code"] = code;
}

void CHttpBase::BeginRetryWait() {
    retryPending_ = true;
    retryTick_ = GetTickCount();
}

HttpOutcome CHttpBase::ClassifyError() const {
    auto entry = [this](int type, int64_t* code) {
        const ProtoValue& record = errors_.Get(HttpErrTypeName(type));
        if (!record.HasKey(L"code")) return false;
        *code = record.Get(L"code").integer();
        return true;
    };
    int64_t code = 0;
    if (entry(kHttpErrSys, &code) && code != 0) return {kHttpErrSys, static_cast<int>(code)};
    if (entry(kHttpErrUser, &code) && code != 0) return {kHttpErrUser, static_cast<int>(code)};
    if (entry(kHttpErrHttp, &code) && (code < 100 || code > 399))
        return {kHttpErrHttp, static_cast<int>(code)};
    if (entry(kHttpErrCurl, &code) && code != 0) return {kHttpErrCurl, static_cast<int>(code)};
    return {};
}
