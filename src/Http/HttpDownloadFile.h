// Downloads one resource into a local file: resumes a partial file with a
// byte range, checks the announced length against the expected size,
// retries transport errors three times per URL, moves on to the backup URLs,
// and last resolves the primary host through the spare DNS servers and tries
// each resolved address. Reports progress once per second and ends with one
// finish call. Belongs to the download engine. Main thread only.
//
// After a failed attempt (Done):
//   transport error, attempts left      -> same URL again after the retry wait
//   HTTP or transport error, more URLs  -> next URL (attempts start again)
//   HTTP or transport error, primary    -> spare resolution of the primary host,
//     host known                           then one URL per resolved address
//   otherwise                           -> finish with the outcome
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "Http/DnsThread.h"
#include "Http/HttpBase.h"

using DownloadFinishCallback = void (*)(void* userData, int errType, int code);
using DownloadProgressCallback = void (*)(void* userData, uint64_t total, uint64_t done, uint32_t speed);

class CHttpDownloadFile : public CHttpBase {
public:
    static constexpr size_t kSpeedSamples = 10;

    // Binds the task to the download engine's workshop as it is now; the
    // manager is bound when the task is submitted.
    CHttpDownloadFile();
    ~CHttpDownloadFile() override;

    // Lists the download. `backupUrls` is ";"-separated; pieces equal to
    // `url` or shorter than 3 characters are dropped. False while an
    // attempt is under way, or when the engine does not exist.
    bool Download(const std::wstring& url, const std::wstring& localPath, uint64_t expectedSize,
                  void* userData, const std::wstring& backupUrls, DownloadFinishCallback finish,
                  DownloadProgressCallback progress);

    std::wstring GetUrl() override;
    bool Start() override;
    // Also stops a spare resolution and discards its result.
    bool Stop() override;
    void Done(CURLcode code) override;
    void OnHttpCode(int status) override;
    void OnTimer() override;
    void OnRecvBytes(int64_t count) override;

    // The resolver's result function (main thread).
    static void OnSpareDNSResult(int code, void* ticket, const std::string& host,
                                 const std::string& addresses);
    void OnDNSResult(int code, const std::wstring& host, const std::wstring& addresses);

    const std::wstring& primaryUrl() const { return primaryUrl_; }

private:
    bool StartSpareResolution(const std::string& host, const HttpOutcome& failure);
    void ForgetResolution();
    void ReportOutcome(int type, int code);
    void PostOutcome(int type, int code);

    std::wstring primaryUrl_;  // emptied once resolved addresses are in use
    CDNSThread resolver_;
    std::wstring localPath_;
    uint64_t expectedSize_ = 0;  // 0: unknown
    DownloadFinishCallback finish_ = nullptr;
    DownloadProgressCallback progress_ = nullptr;
    void* userData_ = nullptr;
    std::vector<std::wstring> urls_;  // the current attempt's URL first
    uint64_t received_ = 0;
    uint32_t sinceLastReport_ = 0;
    uint64_t contentLength_ = 0;
    std::deque<uint32_t> speedSamples_;

    // The resolution in flight is known by a ticket rather than by this
    // object's address, so a result that arrives after Stop, or after the
    // task is gone, finds nothing and is dropped.
    uintptr_t resolutionTicket_ = 0;
    // The failure that started the spare pass; reported when the pass gives
    // nothing usable.
    HttpOutcome spareFailure_;
    // Set by the finish call; a task that has reported its outcome starts
    // no attempt and reports nothing more until the next Download.
    bool outcomeReported_ = false;
};

// The host of a URL: the text after the first "://" (the whole URL without
// one) up to the first character that is not an ASCII letter, digit or ".".
std::wstring HostFromUrl(const std::wstring& url);
