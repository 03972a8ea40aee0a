#include "Http/HttpCommand.h"

#include <memory>

#include "Http/HttpEngines.h"
#include "Http/HttpMgr.h"
#include "Runtime/Logger.h"

namespace {

constexpr const wchar_t* kLogSource = L".\\Http\\HttpCommand";

}  // namespace

CHttpCommand::CHttpCommand() : CHttpBase(CommandEngineWorkshop(), nullptr) {}

CHttpCommand::~CHttpCommand() { Stop(); }

bool CHttpCommand::Start() {
    TraceLogger::Instance().Log(kLogInfo, L"CHttpCommand::Start");
    if (running_) return false;
    ReleaseCurl();
    curl_ = new CCurlHttp(manager_);
    curl_->SetBodySink(std::make_unique<OBufferStream>());
    if (method_ == kPost && !requestBody_.empty()) {
        curl_->SetBodySource(std::make_unique<IBufferStream>(
            static_cast<uint32_t>(requestBody_.size()), requestBody_.data()));
    }
    return CHttpBase::Start();
}

void CHttpCommand::OnHttpCode(int status) { RecordError(kHttpErrHttp, status); }

void CHttpCommand::Done(CURLcode code) {
    if (!running_) return;
    RecordError(kHttpErrCurl, code);
    std::string body;
    if (auto* sink = static_cast<OBufferStream*>(curl_->bodySink())) {
        if (sink->errorCode != 0 || sink->errorType != 0) RecordError(sink->errorType, sink->errorCode);
        if (sink->data() && sink->size()) body.assign(reinterpret_cast<const char*>(sink->data()), sink->size());
    }
    Stop();
    const HttpOutcome outcome = ClassifyError();
    ClearErrors();

    if (attempts_ <= maxRetries_ && outcome.type == kHttpErrCurl && outcome.code != 0) {
        LOG_TRACE_PAIR(kLogInfo, kLogInfo, kLogSource, L"CHttpCommand::Done() 重试.... code:%d errtype:%d  url:%s ",
                       outcome.code, kHttpErrCurl, url_.c_str());
        BeginRetryWait();
        SubmitCommandTask(this);
        return;
    }
    if (outcome.type != kHttpErrOk) {
        LOG_TRACE_PAIR(kLogInfo, kLogInfo, kLogSource, L"CHttpCommand::Done()  code:%d errtype:%d  url:%s ",
                       outcome.code, outcome.type, url_.c_str());
    }
    attempts_ = 0;
    if (callback_) callback_(userData_, body, outcome.type, outcome.code);
}
