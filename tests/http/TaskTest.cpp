// Task helpers without a network: host extraction and error classification.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "Http/HttpBase.h"
#include "Http/HttpDownloadFile.h"

namespace {

TEST(HostFromUrl, CutsAtTheFirstCharacterOutsideTheHostSet) {
    struct Case {
        const wchar_t* url;
        const wchar_t* host;
    } cases[] = {
        {L"http://dl.example.com/pkg/kzinstaller.exe", L"dl.example.com"},
        {L"http://dl.example.com:8080/x", L"dl.example.com"},
        {L"http://my-host.example.com/x", L"my"},  // "-" ends the host
        {L"http://127.0.0.1:8780/x", L"127.0.0.1"},
        {L"dl.example.com/x", L"dl.example.com"},  // no scheme: from the start
        {L"http://[::1]:80/x", L""},
        {L"file:///C:/x", L""},
        {L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.host, HostFromUrl(c.url)) << c.url;
}

// A task whose error record a test can fill.
class RecordTask : public CHttpBase {
public:
    RecordTask() : CHttpBase(nullptr, nullptr) {}
    void Done(CURLcode) override {}
    void OnHttpCode(int) override {}
    void Record(int type, int64_t code) { RecordError(type, code); }
};

TEST(ClassifyError, FirstFailureInFixedOrder) {
    struct Case {
        const char* name;
        std::initializer_list<std::pair<int, int64_t>> record;
        int type, code;
    } cases[] = {
        {"empty", {}, 0, 0},
        {"curl ok, status 200", {{kHttpErrCurl, 0}, {kHttpErrHttp, 200}}, 0, 0},
        {"redirect status is no error", {{kHttpErrHttp, 302}}, 0, 0},
        {"status 404", {{kHttpErrCurl, 23}, {kHttpErrHttp, 404}}, 4, 404},
        {"status below 100", {{kHttpErrHttp, 0}}, 4, 0},
        {"transport", {{kHttpErrCurl, 7}}, 5, 7},
        {"sys before all", {{kHttpErrCurl, 23}, {kHttpErrHttp, 500}, {kHttpErrSys, 112}}, 1, 112},
        {"user before http", {{kHttpErrHttp, 404}, {kHttpErrUser, 2007}}, 3, 2007},
        {"crt is not looked at", {{kHttpErrCrt, 9}}, 0, 0},
        {"sys 0 is no error", {{kHttpErrSys, 0}, {kHttpErrCurl, 28}}, 5, 28},
    };
    for (const Case& c : cases) {
        RecordTask task;
        for (const auto& entry : c.record) task.Record(entry.first, entry.second);
        const HttpOutcome outcome = task.ClassifyError();
        EXPECT_EQ(c.type, outcome.type) << c.name;
        EXPECT_EQ(c.code, outcome.code) << c.name;
    }
}

}  // namespace
