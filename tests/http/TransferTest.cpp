// Transfers and the workshop thread, watched through a recording listener:
// the queue cases, header parsing, status events, the byte-range reset and
// closing streams under a write in progress.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "Http/CurlWorkshop.h"
#include "Http/HttpBase.h"
#include "HttpTestSupport.h"
#include "TestSupport.h"

using namespace httptest;

namespace {

constexpr DWORD kTimeoutMs = 15000;

struct Event {
    std::string kind;
    int value;
};

// Records every event in the order it arrives on the main thread.
class RecordingListener : public CurlListener {
public:
    void OnCurlDone(CCurlBase*, int code) override { events.push_back({"done", code}); }
    void OnCurlRecv(CCurlBase*, int bytes) override { events.push_back({"recv", bytes}); }
    void OnCurlSend(CCurlBase*, int bytes) override { events.push_back({"send", bytes}); }
    void OnCurlHttpCode(CCurlBase*, int status) override { events.push_back({"code", status}); }
    void OnCurlRemoved(CCurlBase*, int) override { events.push_back({"removed", 0}); }
    void OnCurlAdded(CCurlBase*, int) override { events.push_back({"added", 0}); }

    int Count(const std::string& kind) const {
        int n = 0;
        for (const Event& e : events) n += e.kind == kind;
        return n;
    }
    std::vector<int> Values(const std::string& kind) const {
        std::vector<int> values;
        for (const Event& e : events)
            if (e.kind == kind) values.push_back(e.value);
        return values;
    }
    bool WaitFor(const std::string& kind, int count = 1) {
        return testsupport::PumpMessagesUntil([&] { return Count(kind) >= count; }, kTimeoutMs);
    }

    std::vector<Event> events;
};

// Configures a transfer with exactly the options a task gives it.
class Preparer : public CHttpBase {
public:
    Preparer() : CHttpBase(nullptr, nullptr) {}
    void Done(CURLcode) override {}
    void OnHttpCode(int) override {}
    void PrepareTransfer(const CRefPtr<CCurlHttp>& transfer, const std::wstring& url, uint64_t rangeStart = 0) {
        curl_ = transfer;
        url_ = url;
        rangeStart_ = rangeStart;
        Prepare();
        curl_.Reset();
    }
};

class Transfer : public ::testing::Test {
protected:
    void SetUp() override { workshop.Init(); }
    void TearDown() override {
        workshop.Stop(INFINITE);
        workshop.Uninit();
        PumpFor(100);  // deliver what is still queued while the listener lives
    }

    CRefPtr<CCurlHttp> Make(const std::wstring& url, uint64_t rangeStart = 0) {
        CRefPtr<CCurlHttp> transfer(new CCurlHttp(&listener));
        transfer->SetBodySink(std::make_unique<OBufferStream>());
        Preparer().PrepareTransfer(transfer, url, rangeStart);
        return transfer;
    }
    static std::string Body(const CRefPtr<CCurlHttp>& transfer) {
        auto* sink = static_cast<OBufferStream*>(transfer->bodySink());
        return std::string(reinterpret_cast<const char*>(sink->data()), sink->size());
    }

    RecordingListener listener;
    CCurlWorkshop workshop;
    std::wstring token = UniqueToken();
};

TEST_F(Transfer, StoppedBeforePickupIsRemovedOnceAndNeverRuns) {
    CRefPtr<CCurlHttp> transfer = Make(FaultUrl(token, L"plain/small.bin"));
    ASSERT_TRUE(workshop.AddCurl(transfer));
    ASSERT_TRUE(workshop.RemoveCurl(transfer));
    ASSERT_TRUE(workshop.Start());
    ASSERT_TRUE(listener.WaitFor("removed"));
    PumpFor(500);
    EXPECT_EQ(1, listener.Count("removed"));
    EXPECT_EQ(0, listener.Count("added"));
    EXPECT_EQ(0, listener.Count("done"));
    EXPECT_TRUE(FaultLog(token).empty());
}

TEST_F(Transfer, InvalidatedAndRemovedGivesTwoRemovals) {
    CRefPtr<CCurlHttp> transfer = Make(FaultUrl(token, L"stall"));
    ASSERT_TRUE(workshop.Start());
    ASSERT_TRUE(workshop.AddCurl(transfer));
    // Once the whole answer head is in, no callback is left to refuse data
    // and so end the transfer with a write error before it is removed.
    ASSERT_TRUE(listener.WaitFor("code"));
    transfer->Invalidate();
    ASSERT_TRUE(workshop.RemoveCurl(transfer));
    ASSERT_TRUE(listener.WaitFor("removed", 2));
    PumpFor(300);
    EXPECT_EQ(2, listener.Count("removed"));
    EXPECT_EQ(0, listener.Count("done"));
}

TEST_F(Transfer, AddingCancelsAWaitingRemoval) {
    CRefPtr<CCurlHttp> transfer = Make(FaultUrl(token, L"plain/small.bin"));
    ASSERT_TRUE(workshop.RemoveCurl(transfer));
    ASSERT_TRUE(workshop.AddCurl(transfer));
    ASSERT_TRUE(workshop.Start());
    ASSERT_TRUE(listener.WaitFor("done"));
    EXPECT_EQ(0, listener.Count("removed"));
    EXPECT_EQ(1, listener.Count("added"));
    EXPECT_EQ(std::vector<int>{CURLE_OK}, listener.Values("done"));
    EXPECT_EQ(DataBytes(L"small.bin"), Body(transfer));
}

TEST_F(Transfer, WithoutMultiHandleNothingIsQueued) {
    CCurlWorkshop idle;
    CRefPtr<CCurlHttp> transfer = Make(FaultUrl(token, L"plain/small.bin"));
    EXPECT_FALSE(idle.AddCurl(transfer));
    EXPECT_FALSE(idle.RemoveCurl(transfer));
}

// A workshop destroyed with a transfer still running takes the transfer out
// of the multi handle and frees its easy handle before the multi handle goes.
TEST_F(Transfer, DestroyedWorkshopFreesItsRunningTransfers) {
    CRefPtr<CCurlHttp> transfer = Make(FaultUrl(token, L"stall"));
    {
        CCurlWorkshop other;
        other.Init();
        ASSERT_TRUE(other.Start());
        ASSERT_TRUE(other.AddCurl(transfer));
        ASSERT_TRUE(listener.WaitFor("added"));
    }
    EXPECT_EQ(nullptr, transfer->easy());
}

// A transfer the multi handle cannot take (here: one without an easy
// handle) still ends with an outcome its task can act on.
TEST_F(Transfer, RefusedTransferIsReportedAsFailed) {
    CRefPtr<CCurlHttp> transfer(new CCurlHttp(&listener));
    ASSERT_TRUE(workshop.AddCurl(transfer));
    ASSERT_TRUE(workshop.Start());
    ASSERT_TRUE(listener.WaitFor("done"));
    EXPECT_EQ(std::vector<int>{CURLE_FAILED_INIT}, listener.Values("done"));
    EXPECT_EQ(0, listener.Count("added"));
}

TEST_F(Transfer, HeaderFieldsHaveASizeLimit) {
    struct Case {
        int lines;  // of about 1000 bytes each
        int outcome;
    } cases[] = {{200, CURLE_OK}, {400, CURLE_WRITE_ERROR}};
    ASSERT_TRUE(workshop.Start());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        listener.events.clear();
        CRefPtr<CCurlHttp> transfer = Make(FaultUrl(token, L"bigheaders/" + std::to_wstring(c.lines)));
        workshop.AddCurl(transfer);
        ASSERT_TRUE(listener.WaitFor("done"));
        EXPECT_EQ(std::vector<int>{c.outcome}, listener.Values("done"));
    }
}

TEST_F(Transfer, RedirectThenAnswerPostsBothStatusesAndKeepsTheFinalFields) {
    CRefPtr<CCurlHttp> transfer = Make(NginxUrl(L"moved/small.bin"));
    ASSERT_TRUE(workshop.Start());
    workshop.AddCurl(transfer);
    ASSERT_TRUE(listener.WaitFor("done"));
    EXPECT_EQ((std::vector<int>{301, 200}), listener.Values("code"));
    EXPECT_EQ(std::vector<int>{CURLE_OK}, listener.Values("done"));
    std::wstring value;
    ASSERT_TRUE(transfer->HeaderValue(L"Content-Length", &value));
    EXPECT_EQ(L"1000", value);
    EXPECT_FALSE(transfer->HeaderValue(L"Location", &value)) << "the redirect's fields are gone";
    EXPECT_EQ(DataBytes(L"small.bin"), Body(transfer));
}

TEST_F(Transfer, ErrorStatusIsPostedPerHeaderLineAndTheBodyRefused) {
    CRefPtr<CCurlHttp> transfer = Make(NginxUrl(L"no-such-file"));
    ASSERT_TRUE(workshop.Start());
    workshop.AddCurl(transfer);
    ASSERT_TRUE(listener.WaitFor("done"));
    const std::vector<int> codes = listener.Values("code");
    EXPECT_GE(codes.size(), 4u) << "status line, fields and the empty line";
    for (int code : codes) EXPECT_EQ(404, code);
    EXPECT_EQ(std::vector<int>{CURLE_WRITE_ERROR}, listener.Values("done"));
    EXPECT_EQ("", Body(transfer));
}

TEST_F(Transfer, HeaderLinesBecomeTrimmedFields) {
    CRefPtr<CCurlHttp> transfer = Make(FaultUrl(token, L"headers"));
    ASSERT_TRUE(workshop.Start());
    workshop.AddCurl(transfer);
    ASSERT_TRUE(listener.WaitFor("done"));
    struct Case {
        const wchar_t* name;
        bool present;
        const wchar_t* value;
    } cases[] = {
        {L"X-Plain", true, L"value"},     {L"X-Spaced", true, L"padded value"},
        {L"X-Empty", true, L""},          {L"X-Colon", true, L"a:b:c"},
        {L"", false, L""},                {L"x-plain", false, L""},  // names are exact
        {L"HTTP/1.1 200 OK", false, L""},
    };
    for (const Case& c : cases) {
        std::wstring value = L"unset";
        EXPECT_EQ(c.present, transfer->HeaderValue(c.name, &value)) << c.name;
        if (c.present) {
            EXPECT_EQ(c.value, value) << c.name;
        }
    }
}

TEST_F(Transfer, RangeAnsweredWith200EmptiesTheSinkFirst) {
    CRefPtr<CCurlHttp> transfer = Make(FaultUrl(token, L"norange/small.bin"), 100);
    transfer->bodySink()->Write("stale bytes", 11);
    transfer->SetResumeRequested(true);
    ASSERT_TRUE(workshop.Start());
    workshop.AddCurl(transfer);
    ASSERT_TRUE(listener.WaitFor("done"));
    EXPECT_EQ("bytes=100-", FaultLog(token).at(0).range);
    EXPECT_EQ(DataBytes(L"small.bin"), Body(transfer));
}

TEST_F(Transfer, ProgressEventsOnlyWhenAsked) {
    ASSERT_TRUE(workshop.Start());
    for (bool report : {false, true}) {
        SCOPED_TRACE(report);
        listener.events.clear();
        CRefPtr<CCurlHttp> transfer = Make(FaultUrl(token, L"drip/6000/drip.bin"));
        transfer->SetReportProgress(report);
        workshop.AddCurl(transfer);
        ASSERT_TRUE(listener.WaitFor("done"));
        if (report) {
            EXPECT_GE(listener.Count("recv"), 2);
        } else {
            EXPECT_EQ(0, listener.Count("recv"));
        }
        EXPECT_EQ(0, listener.Count("send"));
    }
}

// A sink that takes its time over each write and notices being closed while
// a write is in progress.
class SlowSink : public OBaseStream {
public:
    int Write(const void*, unsigned count) override {
        if (closed) return -1;
        writing = true;
        ++writes;
        Sleep(20);
        writing = false;
        return static_cast<int>(count);
    }
    void Close() override {
        if (writing) closedDuringWrite = true;
        closed = true;
    }
    void Reset() override {}

    std::atomic<bool> writing{false};
    std::atomic<bool> closed{false};
    std::atomic<bool> closedDuringWrite{false};
    std::atomic<int> writes{0};
};

TEST_F(Transfer, ClosingStreamsWaitsForAWriteInProgress) {
    ASSERT_TRUE(workshop.Start());
    for (int round = 0; round < 5; ++round) {
        CRefPtr<CCurlHttp> transfer(new CCurlHttp(&listener));
        auto sink = std::make_unique<SlowSink>();
        SlowSink* watched = sink.get();
        transfer->SetBodySink(std::move(sink));
        Preparer().PrepareTransfer(transfer, FaultUrl(token, L"drip/1000/drip.bin"));
        workshop.AddCurl(transfer);
        ASSERT_TRUE(testsupport::PumpMessagesUntil([&] { return watched->writing.load(); }, kTimeoutMs));
        // What a task does when it gives the transfer up.
        workshop.RemoveCurl(transfer);
        transfer->Invalidate();
        transfer->CloseStreams();
        EXPECT_FALSE(watched->closedDuringWrite.load()) << "round " << round;
        const int writes = watched->writes;
        PumpFor(150);
        EXPECT_EQ(writes, watched->writes.load()) << "no write after the close";
    }
}

}  // namespace
