// The resolver over real UDP on loopback. The test runner starts two scripted
// servers and passes them as INSTALLER_SPARE_DNS="scripted;plain": the
// scripted one answers each *.test name in its own way, the plain one answers
// every name with 127.20.0.1. Each test sets the server list it needs.
#include "Http/DnsClient.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Http/DnsThread.h"
#include "Runtime/MainThreadDispatch.h"
#include "Runtime/StringUtils.h"
#include "TestSupport.h"

namespace {

const std::string kPlainAnswer = "127.20.0.1";
// A server whose datagrams are all ignored holds the resolution for longer
// than this (measured on the same tick clock); a failed or usable answer
// ends it sooner.
constexpr DWORD kTimeout = CDNSClient::kAnswerTimeoutMs;

struct Outcome {
    int calls = 0;
    int code = 99;
    void* task = nullptr;
    std::string host;
    std::string addresses;
    DWORD threadId = 0;
};

Outcome g_outcome;

void RecordOutcome(int code, void* task, const std::string& host, const std::string& addresses) {
    ++g_outcome.calls;
    g_outcome.code = code;
    g_outcome.task = task;
    g_outcome.host = host;
    g_outcome.addresses = addresses;
    g_outcome.threadId = GetCurrentThreadId();
}

// A UDP socket on a loopback port that never answers.
class SilentServer {
public:
    SilentServer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = inet_addr("127.0.0.1");
        bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() {
        closesocket(socket_);
        WSACleanup();
    }
    std::wstring Address() const { return L"127.0.0.1:" + std::to_wstring(port_); }

private:
    SOCKET socket_ = INVALID_SOCKET;
    unsigned short port_ = 0;
};

class SpareResolver : public ::testing::Test {
protected:
    void SetUp() override {
        InitMainThreadDispatch();
        g_outcome = Outcome();
        original_ = testsupport::EnvironmentValue(L"INSTALLER_SPARE_DNS");
        ASSERT_FALSE(original_.empty()) << "run through ctest: it starts the DNS servers";
        std::vector<std::wstring> servers;
        SplitString(original_, servers);
        ASSERT_EQ(2u, servers.size()) << "expected \"scripted;plain\"";
        scripted_ = servers[0];
        plain_ = servers[1];
        ASSERT_NE(std::wstring::npos, scripted_.find(L"127.0.0.1:"));
    }
    void TearDown() override {
        resolver_.Stop(500);
        SetEnvironmentVariableW(L"INSTALLER_SPARE_DNS", original_.c_str());
        DispatchMainThreadTasks();  // leave nothing queued for the next test
    }

    void UseServers(const std::vector<std::wstring>& servers) {
        std::wstring list;
        for (const std::wstring& server : servers) list += (list.empty() ? L"" : L";") + server;
        SetEnvironmentVariableW(L"INSTALLER_SPARE_DNS", list.c_str());
    }

    // Starts a resolution and pumps messages until its result arrives.
    // `elapsedMs` receives the time until then.
    Outcome Resolve(const std::string& host, DWORD* elapsedMs = nullptr) {
        g_outcome = Outcome();
        resolver_.SetResultFunction(&RecordOutcome);
        resolver_.SetTask(&task_);
        resolver_.SetHost(host);
        const DWORD start = GetTickCount();
        EXPECT_TRUE(resolver_.Start());
        testsupport::PumpMessagesUntil([] { return g_outcome.calls > 0; }, 15000);
        if (elapsedMs) *elapsedMs = GetTickCount() - start;
        // The task joins the finished thread when the result arrives.
        EXPECT_TRUE(resolver_.Stop(100));
        // A second result would arrive now if one had been posted.
        testsupport::PumpMessagesUntil([] { return false; }, 50);
        return g_outcome;
    }

    CDNSThread resolver_;
    int task_ = 0;
    std::wstring original_, scripted_, plain_;
};

TEST_F(SpareResolver, UsableAnswersGiveTheirAddresses) {
    UseServers({scripted_});
    struct Case {
        const char* host;
        const char* addresses;
    } cases[] = {
        {"one.test", "127.10.0.1"},
        {"two.test", "127.10.0.1;127.10.0.2"},  // answer order
        {"one.test.", "127.10.0.1"},            // the same query as without the dot
        {"aa.test", "127.10.0.3"},              // authoritative answers count
        {"cname.test", "127.10.0.4"},           // a CNAME before the A record
        {"short.test", "127.10.0.5"},           // a short datagram before it is ignored
        {"no-a.test", ""},                      // usable, but without A records
    };
    for (const Case& c : cases) {
        const Outcome outcome = Resolve(c.host);
        EXPECT_EQ(1, outcome.calls) << c.host;
        EXPECT_EQ(0, outcome.code) << c.host;
        EXPECT_EQ(c.addresses, outcome.addresses) << c.host;
        EXPECT_EQ(c.host, outcome.host) << c.host;
        EXPECT_EQ(&task_, outcome.task) << c.host;
        EXPECT_EQ(GetCurrentThreadId(), outcome.threadId)
            << c.host << ": delivered on the main thread";
    }
}

TEST_F(SpareResolver, ResultWaitsForTheMainThreadToPumpMessages) {
    UseServers({scripted_});
    resolver_.SetResultFunction(&RecordOutcome);
    resolver_.SetTask(&task_);
    resolver_.SetHost("one.test");
    ASSERT_TRUE(resolver_.Start());
    for (int i = 0; i < 500 && resolver_.IsRunning(); ++i) Sleep(10);
    ASSERT_FALSE(resolver_.IsRunning());
    EXPECT_EQ(0, g_outcome.calls) << "the result is posted, not called on the resolver's thread";
    testsupport::PumpMessagesUntil([] { return g_outcome.calls > 0; }, 5000);
    EXPECT_EQ(1, g_outcome.calls);
    EXPECT_EQ("127.10.0.1", g_outcome.addresses);
}

// A malformed answer fails the query at once; the next server is asked.
TEST_F(SpareResolver, MalformedAnswersFailTheirServer) {
    UseServers({scripted_, plain_});
    for (const char* host : {"pointer-loop.test", "pointer-past-end.test", "cut.test",
                             "rdlength-past-end.test", "question-pointer.test"}) {
        DWORD elapsed = 0;
        const Outcome outcome = Resolve(host, &elapsed);
        EXPECT_EQ(1, outcome.calls) << host;
        EXPECT_EQ(0, outcome.code) << host;
        EXPECT_EQ(kPlainAnswer, outcome.addresses) << host;
        EXPECT_LT(elapsed, kTimeout) << host << ": failed without waiting for the time-out";
    }
}

// Ignored datagrams leave the wait running until the time-out; then the next
// server answers.
TEST_F(SpareResolver, ForeignIdAndTruncatedAnswersAreIgnored) {
    UseServers({scripted_, plain_});
    for (const char* host : {"foreign-id.test", "truncated.test"}) {
        DWORD elapsed = 0;
        const Outcome outcome = Resolve(host, &elapsed);
        EXPECT_EQ(0, outcome.code) << host;
        EXPECT_EQ(kPlainAnswer, outcome.addresses) << host;
        EXPECT_GT(elapsed, kTimeout) << host << ": the first server's wait ran to its time-out";
    }
}

TEST_F(SpareResolver, SilentFirstServerThenTheSecondAnswers) {
    SilentServer silent;
    UseServers({silent.Address(), plain_});
    DWORD elapsed = 0;
    const Outcome outcome = Resolve("one.test", &elapsed);
    EXPECT_EQ(0, outcome.code);
    EXPECT_EQ(kPlainAnswer, outcome.addresses);
    EXPECT_GT(elapsed, kTimeout);
}

// Unusable list entries are skipped; a silent server and a malformed answer
// leave nothing.
TEST_F(SpareResolver, AllServersFailingGivesMinusOneAndNoAddresses) {
    SilentServer silent;
    UseServers({L"not-an-address", silent.Address(), L"127.0.0.1:99999", scripted_});
    const Outcome outcome = Resolve("pointer-loop.test");
    EXPECT_EQ(1, outcome.calls);
    EXPECT_EQ(-1, outcome.code);
    EXPECT_EQ("", outcome.addresses);
    EXPECT_EQ("pointer-loop.test", outcome.host);
}

// Hosts that cannot be put in a query fail without asking any server (the
// silent server would otherwise hold each for its time-out).
TEST_F(SpareResolver, HostsThatDoNotFitAQueryFail) {
    SilentServer silent;
    UseServers({silent.Address()});
    std::string tooLong;
    for (int i = 0; i < 5; ++i) tooLong += std::string(60, 'a' + i) + ".";
    for (const std::string& host :
         {tooLong, std::string(64, 'x') + ".test", std::string(), std::string("..")}) {
        DWORD elapsed = 0;
        const Outcome outcome = Resolve(host, &elapsed);
        EXPECT_EQ(1, outcome.calls) << host;
        EXPECT_EQ(-1, outcome.code) << host;
        EXPECT_EQ("", outcome.addresses) << host;
        EXPECT_LT(elapsed, kTimeout) << host;
    }
}

TEST_F(SpareResolver, StopDuringTheQueriesPostsNothing) {
    testsupport::FileLogCapture log;
    ASSERT_TRUE(log.capturing());

    SilentServer first, second;
    UseServers({first.Address(), second.Address()});
    resolver_.SetResultFunction(&RecordOutcome);
    resolver_.SetTask(&task_);
    resolver_.SetHost("one.test");
    ASSERT_TRUE(resolver_.Start());
    Sleep(300);
    EXPECT_TRUE(resolver_.IsRunning());
    EXPECT_TRUE(resolver_.Stop(500));
    EXPECT_FALSE(resolver_.IsRunning());
    testsupport::PumpMessagesUntil([] { return g_outcome.calls > 0; }, 3500);
    EXPECT_EQ(0, g_outcome.calls);

    EXPECT_EQ(L"", log.Finish()) << "the thread ended by itself, it was not killed";
}

TEST_F(SpareResolver, DestroyingARunningResolverPostsNothing) {
    SilentServer silent;
    UseServers({silent.Address()});
    {
        CDNSThread resolver;
        resolver.SetResultFunction(&RecordOutcome);
        resolver.SetHost("one.test");
        ASSERT_TRUE(resolver.Start());
        Sleep(200);
    }
    testsupport::PumpMessagesUntil([] { return g_outcome.calls > 0; }, 2000);
    EXPECT_EQ(0, g_outcome.calls);
}

}  // namespace
