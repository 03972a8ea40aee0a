#include "UpdateTestSupport.h"

#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "Runtime/StringUtils.h"
#include "TestSupport.h"
#include "Updater/MD5.h"

namespace updatetest {

void RecordingListener::OnDownloadProgress(int64_t total, int64_t done, int64_t speed) {
    events.push_back({kProgress, 0, 0, L"", L"", total, done, speed});
}

void RecordingListener::OnDownloadFinished(int errType, int code, const std::wstring& text) {
    events.push_back({kFinished, errType, code, text, L"", 0, 0, 0});
}

void RecordingListener::OnUpdateInfo(int errType, int code, const std::wstring& version,
                                     const std::wstring& md5) {
    events.push_back({kUpdateInfo, errType, code, version, md5, 0, 0, 0});
}

int RecordingListener::Count(Kind kind) const {
    int n = 0;
    for (const Event& e : events) n += e.kind == kind;
    return n;
}

RecordingListener::Event RecordingListener::Last(Kind kind) const {
    for (auto e = events.rbegin(); e != events.rend(); ++e)
        if (e->kind == kind) return *e;
    return Event{kind, -1, -1, L"", L"", -1, -1, -1};
}

bool RecordingListener::WaitFor(Kind kind, DWORD timeoutMs) const {
    return testsupport::PumpMessagesUntil([&] { return Count(kind) > 0; }, timeoutMs);
}

std::string Description(const std::wstring& url, const std::wstring& mirrors,
                        const std::wstring& size, const std::wstring& md5,
                        const std::wstring& version) {
    return WideToUtf8(FormatString(L"[Install]\r\nUrl=%s\r\nmurl=%s\r\nSize=%s\r\nMd5=%s\r\n"
                                   L"Version=%s\r\n",
                                   url.c_str(), mirrors.c_str(), size.c_str(), md5.c_str(),
                                   version.c_str()));
}

void Serve(const std::wstring& name, const std::string& bytes) {
    ASSERT_TRUE(testsupport::WriteFileBytes(httptest::DataPath(name), bytes)) << WideToUtf8(name);
}

void SetDescriptionUrls(const std::wstring& primary, const std::wstring& fallback) {
    SetEnvironmentVariableW(L"INSTALLER_UPDATE_URLS", (primary + L";" + fallback).c_str());
}

std::wstring Md5Of(const std::string& bytes) {
    MD5 digest;
    digest.update(reinterpret_cast<const unsigned char*>(bytes.data()),
                  static_cast<uint32_t>(bytes.size()));
    digest.finalize();
    return AnsiToWide(digest.hex_digest());
}

}  // namespace updatetest
