// File downloads against real servers on loopback: nginx for well-behaved
// answers, the fault server for broken ones, the scripted DNS servers for the
// spare resolution. Runs under with_http_servers.py with a 2 s low-speed
// time-out.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <vector>

#include "Http/HttpDownloadFile.h"
#include "Http/HttpEngines.h"
#include "Http/HttpMgr.h"
#include "HttpTestSupport.h"
#include "TestSupport.h"

using namespace httptest;
using testsupport::EnvironmentValue;

namespace {

constexpr DWORD kFinishTimeoutMs = 30000;
const std::string kSmall = DataBytes(L"small.bin");

class Download : public ::testing::Test {
protected:
    void TearDown() override { task.Stop(); }

    bool Run(const std::wstring& url, uint64_t expected, const std::wstring& mirrors = L"") {
        return task.Download(url, local, expected, &recorder, mirrors, &DownloadRecorder::OnFinish,
                             &DownloadRecorder::OnProgress);
    }
    std::string LocalBytes() { return testsupport::ReadFileBytes(local); }

    // A second download by the same task through the fault server's `mode`
    // into a file of its own; true once it has finished.
    bool RunSecond(const std::wstring& mode) {
        return task.Download(FaultUrl(secondToken, mode), secondFolder.File(L"b.tmp"), 1000, &second,
                             L"", &DownloadRecorder::OnFinish, &DownloadRecorder::OnProgress) &&
               second.WaitFinished(kFinishTimeoutMs);
    }

    // Downloads medium.bin through the fault server's `mode`, checks that it
    // arrived whole, and returns the server's log of the requests.
    std::vector<LoggedRequest> DownloadMedium(const std::wstring& mode) {
        const std::string medium = DataBytes(L"medium.bin");
        Run(FaultUrl(token, mode), medium.size());
        EXPECT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
        EXPECT_EQ(0, recorder.type);
        EXPECT_EQ(0, recorder.code);
        EXPECT_TRUE(LocalBytes() == medium) << "the file differs from the served one";
        return FaultLog(token);
    }

    testsupport::TempFolder folder;
    std::wstring local = folder.File(L"package.tmp");
    CHttpDownloadFile task;
    DownloadRecorder recorder;
    std::wstring token = UniqueToken();
    DownloadRecorder second;
    std::wstring secondToken = UniqueToken();
    testsupport::TempFolder secondFolder;
};

TEST_F(Download, FileAlreadyCompleteMakesNoRequest) {
    ASSERT_TRUE(testsupport::WriteFileBytes(local, kSmall));
    Run(FaultUrl(token, L"plain/small.bin"), kSmall.size());
    ASSERT_TRUE(recorder.WaitFinished(1000));
    EXPECT_EQ(0, recorder.type);
    EXPECT_EQ(0, recorder.code);
    PumpFor(700);  // a retry check passes: still one finish, still no request
    EXPECT_EQ(1, recorder.finishes);
    EXPECT_TRUE(FaultLog(token).empty());
    EXPECT_EQ(kSmall, LocalBytes());
    // The owner may put the file in place before it stops the task.
    EXPECT_TRUE(MoveFileW(local.c_str(), folder.File(L"package.bin").c_str()));
}

// The resume decisions: what is on disk, what the caller expects, and what
// the server does with the byte range.
TEST_F(Download, ResumesOrStartsOverByWhatIsOnDisk) {
    struct Case {
        const char* name;
        std::string onDisk;
        uint64_t expected;
        const wchar_t* mode;        // fault server mode for small.bin
        const char* rangeSent;      // the Range header the server saw
        uint64_t firstTotal, firstDone;
    } cases[] = {
        {"100 bytes present, 206", kSmall.substr(0, 100), 1000, L"plain", "bytes=100-", 1000, 100},
        {"100 bytes present, 200", kSmall.substr(0, 100), 1000, L"norange", "bytes=100-", 1000, 0},
        {"larger than expected", std::string(1500, 'x'), 1000, L"plain", "-", 1000, 0},
        {"expected size unknown", kSmall.substr(0, 100), 0, L"plain", "-", 1000, 0},
        {"nothing present", std::string(), 1000, L"plain", "-", 1000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempFolder caseFolder;
        const std::wstring path = caseFolder.File(L"p.tmp");
        if (!c.onDisk.empty()) {
            ASSERT_TRUE(testsupport::WriteFileBytes(path, c.onDisk));
        }
        const std::wstring caseToken = UniqueToken();
        CHttpDownloadFile download;
        DownloadRecorder r;
        ASSERT_TRUE(download.Download(FaultUrl(caseToken, std::wstring(c.mode) + L"/small.bin"), path,
                                      c.expected, &r, L"", &DownloadRecorder::OnFinish,
                                      &DownloadRecorder::OnProgress));
        ASSERT_TRUE(r.WaitFinished(kFinishTimeoutMs));
        download.Stop();
        EXPECT_EQ(0, r.type);
        EXPECT_EQ(0, r.code);
        EXPECT_EQ(kSmall, testsupport::ReadFileBytes(path));
        const auto log = FaultLog(caseToken);
        ASSERT_EQ(1u, log.size());
        EXPECT_EQ(c.rangeSent, log[0].range);
        ASSERT_FALSE(r.progress.empty());
        EXPECT_EQ(c.firstTotal, r.progress[0].total);
        EXPECT_EQ(c.firstDone, r.progress[0].done);
        EXPECT_EQ(0u, r.progress[0].speed);
    }
}

TEST_F(Download, NginxAnswersTheRangeWith206AndFollowsRedirects) {
    ASSERT_TRUE(testsupport::WriteFileBytes(local, kSmall.substr(0, 100)));
    Run(NginxUrl(L"redirect/small.bin"), kSmall.size());
    ASSERT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
    EXPECT_EQ(0, recorder.type);
    EXPECT_EQ(kSmall, LocalBytes());
    const auto served = NginxLog("/small.bin");
    ASSERT_FALSE(served.empty());
    EXPECT_EQ("/small.bin bytes=100- 206", served.back());
}

TEST_F(Download, RangePastTheEndIs416) {
    // The served file has 50 bytes; 100 are already here.
    ASSERT_TRUE(testsupport::WriteFileBytes(local, std::string(100, 'x')));
    Run(NginxUrl(L"tiny.bin"), 1000);
    ASSERT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
    EXPECT_EQ(4, recorder.type);
    EXPECT_EQ(416, recorder.code);
}

TEST_F(Download, LengthMismatchStopsAtOnceWithoutBackups) {
    Run(FaultUrl(token, L"plain/small.bin"), 2000, FaultUrl(token, L"plain/tiny.bin"));
    ASSERT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
    EXPECT_EQ(3, recorder.type);
    EXPECT_EQ(2007, recorder.code);
    PumpFor(1200);
    EXPECT_EQ(1, recorder.finishes);
    ASSERT_EQ(1u, FaultLog(token).size()) << "no retry, no backup URL";
}

TEST_F(Download, ARedirectsLengthNeverStandsForTheFinalAnswer) {
    // The 302 carries a Content-Length of its own; the final answer has none.
    const std::wstring target = L"/" + token + L"/nolength/small.bin";
    Run(FaultUrl(token, L"redirect?to=" + target), kSmall.size());
    ASSERT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
    EXPECT_EQ(0, recorder.type);
    EXPECT_EQ(0, recorder.code);
    EXPECT_EQ(kSmall, LocalBytes());
    EXPECT_TRUE(recorder.progress.empty()) << "no length known, no progress";
}

TEST_F(Download, MirrorsInOrderWithoutDuplicatesOrShortPieces) {
    const std::wstring primary = FaultUrl(token, L"status/404");
    const std::wstring mirrors = primary + L";ab;;" + FaultUrl(token, L"status/410") + L";" +
                                 FaultUrl(token, L"plain/small.bin") + L";";
    Run(primary, kSmall.size(), mirrors);
    ASSERT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
    EXPECT_EQ(0, recorder.type);
    EXPECT_EQ(kSmall, LocalBytes());
    const auto log = FaultLog(token);
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ("status/404", log[0].what);
    EXPECT_EQ("status/410", log[1].what);
    EXPECT_EQ("plain/small.bin", log[2].what);
}

TEST_F(Download, NotFoundOnTheLastUrlAfterOneAttempt) {
    Run(FaultUrl(token, L"status/404"), 1000);
    ASSERT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
    EXPECT_EQ(4, recorder.type);
    EXPECT_EQ(404, recorder.code);
    EXPECT_EQ(1u, FaultLog(token).size());
    EXPECT_EQ(1, recorder.finishes);
}

// A server that never answers: three attempts, each after a retry wait of
// 500 to about 1000 ms, then a spare resolution that finds nothing; the
// owner hears of the transport error, never of success.
TEST_F(Download, UnreachableAfterThreeAttemptsWithRetryWaits) {
    Run(FaultUrl(token, L"hangup"), 1000);
    ASSERT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
    EXPECT_EQ(5, recorder.type);
    EXPECT_EQ(52, recorder.code);  // CURLE_GOT_NOTHING
    const auto log = FaultLog(token);
    ASSERT_EQ(3u, log.size());
    for (size_t i = 1; i < log.size(); ++i) {
        const long long gap = log[i].ms - log[i - 1].ms;
        EXPECT_GE(gap, 500) << "attempt " << i;
        EXPECT_LE(gap, 3000) << "attempt " << i;  // generous: a loaded machine
    }
}

TEST_F(Download, TransportErrorsOfOtherKinds) {
    struct Case {
        const char* name;
        std::wstring url;
        int code;  // 0: any non-zero code
    } cases[] = {
        // A description must not make the engine read local files.
        {"file scheme", L"file:///C:/windows/win.ini", 1},
        {"redirect to a file", FaultUrl(token, L"redirect?to=file:///C:/windows/win.ini"), 1},
        {"redirect loop", FaultUrl(token, L"loop"), 47},
        {"closed port", L"http://127.0.0.1:1/small.bin", 7},
        // A host of fewer than 3 bytes cannot be resolved: the download ends.
        {"host too short to resolve", L"http://[::1]:1/small.bin", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempFolder caseFolder;
        const std::wstring path = caseFolder.File(L"p.tmp");
        CHttpDownloadFile download;
        DownloadRecorder r;
        ASSERT_TRUE(download.Download(c.url, path, 1000, &r, L"", &DownloadRecorder::OnFinish,
                                      &DownloadRecorder::OnProgress));
        ASSERT_TRUE(r.WaitFinished(kFinishTimeoutMs));
        EXPECT_EQ(5, r.type);
        if (c.code) {
            EXPECT_EQ(c.code, r.code);
        } else {
            EXPECT_NE(0, r.code);
        }
        EXPECT_EQ("", testsupport::ReadFileBytes(path));
        download.Stop();
    }
}

TEST_F(Download, ResetInTheMiddleOfTheBodyIsResumed) {
    const auto log = DownloadMedium(L"reset-first/1048576/medium.bin");
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("-", log[0].range);
    EXPECT_EQ("bytes=", log[1].range.substr(0, 6)) << "the second attempt resumes";
}

TEST_F(Download, StallIsEndedByTheLowSpeedLimitAndResumed) {
    const auto log = DownloadMedium(L"stall-first/100000/medium.bin");
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("bytes=100000-", log[1].range);
}

// localhost resolves to 127.0.0.1, where nothing listens on the alternative
// port; the spare DNS server answers 127.0.0.2, where nginx does.
TEST_F(Download, SpareResolutionTriesTheResolvedAddresses) {
    const std::wstring url =
        L"http://localhost:" + EnvironmentValue(L"HTTP_TEST_NGINX_ALT") + L"/small.bin";
    Run(url, kSmall.size());
    ASSERT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
    EXPECT_EQ(0, recorder.type);
    EXPECT_EQ(0, recorder.code);
    EXPECT_EQ(kSmall, LocalBytes());
    EXPECT_EQ(L"", task.primaryUrl()) << "the addresses are in use";
}

// A download given no URL fails; it never falls back on the address of an
// earlier download of the same task, which would put that download's file
// in its place and report success.
TEST_F(Download, WithoutAUrlNothingOfAnEarlierDownloadIsFetched) {
    const std::wstring earlier =
        L"http://localhost:" + EnvironmentValue(L"HTTP_TEST_NGINX_ALT") + L"/small.bin";
    ASSERT_TRUE(Run(earlier, kSmall.size()));
    task.Stop();
    ASSERT_TRUE(Run(L"", kSmall.size()));
    ASSERT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
    EXPECT_EQ(5, recorder.type);
    EXPECT_EQ(3, recorder.code);  // CURLE_URL_MALFORMAT
    EXPECT_TRUE(LocalBytes().empty()) << "the earlier download's file was fetched";
}

TEST_F(Download, ProgressOncePerSecond) {
    // 60000 bytes at 2000 bytes per 100 ms: about 3 s.
    const DWORD start = GetTickCount();
    Run(FaultUrl(token, L"drip/2000/drip.bin"), 60000);
    ASSERT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
    const DWORD elapsedMs = GetTickCount() - start;
    EXPECT_EQ(0, recorder.type);
    ASSERT_GE(recorder.progress.size(), 3u) << "the first report and at least two ticks";
    EXPECT_LE(recorder.progress.size(), 2 + elapsedMs / 1000 + 1);
    uint64_t done = 0;
    for (const auto& p : recorder.progress) {
        EXPECT_EQ(60000u, p.total);
        EXPECT_GE(p.done, done);
        done = p.done;
    }
    EXPECT_GT(recorder.progress.back().speed, 0u);
}

TEST_F(Download, ASecondDownloadDoesNotInheritEarlierMirrors) {
    Run(FaultUrl(token, L"status/404"), kSmall.size(), FaultUrl(token, L"plain/small.bin"));
    ASSERT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
    ASSERT_EQ(0, recorder.type);
    task.Stop();

    ASSERT_TRUE(RunSecond(L"status/404"));
    EXPECT_EQ(4, second.type);
    EXPECT_EQ(404, second.code);
    EXPECT_EQ(2u, FaultLog(token).size()) << "the first download's mirror was not asked again";
}

// A download stopped between its attempts leaves nothing behind: the next
// one gets all of its own attempts.
TEST_F(Download, ASecondDownloadGetsAllOfItsAttempts) {
    Run(FaultUrl(token, L"hangup"), 1000);
    ASSERT_TRUE(testsupport::PumpMessagesUntil([&] { return FaultLog(token).size() == 2; },
                                               kFinishTimeoutMs));
    task.Stop();

    ASSERT_TRUE(RunSecond(L"hangup"));
    EXPECT_EQ(5, second.type);
    EXPECT_EQ(3u, FaultLog(secondToken).size());
    EXPECT_EQ(0, recorder.finishes) << "the stopped download reports nothing";
}

TEST_F(Download, UnopenableLocalFileFinishesOnce) {
    local = folder.File(L"missing\\folder\\package.tmp");
    Run(FaultUrl(token, L"plain/small.bin"), 1000);
    ASSERT_TRUE(recorder.WaitFinished(1000));
    EXPECT_EQ(1, recorder.type);
    EXPECT_EQ(2020, recorder.code);
    // Other work of the same engine schedules again; the outcome stays one.
    CHttpDownloadFile other;
    DownloadRecorder otherRecorder;
    testsupport::TempFolder otherFolder;
    other.Download(FaultUrl(UniqueToken(), L"plain/small.bin"), otherFolder.File(L"o.tmp"), 1000, &otherRecorder,
                   L"", &DownloadRecorder::OnFinish, &DownloadRecorder::OnProgress);
    ASSERT_TRUE(otherRecorder.WaitFinished(kFinishTimeoutMs));
    other.Stop();
    EXPECT_EQ(1, recorder.finishes);
    EXPECT_TRUE(FaultLog(token).empty());
}

// An owner may stop its task from inside the finish call, even when that
// call comes from the manager's scheduling walk; the other tasks carry on.
TEST_F(Download, OwnerMayStopItsTaskInsideTheFinishCall) {
    struct StoppingOwner {
        CHttpDownloadFile task;
        int finishes = 0;
        static void OnFinish(void* self, int, int) {
            auto* owner = static_cast<StoppingOwner*>(self);
            ++owner->finishes;
            owner->task.Stop();
        }
    };
    // Ten stalled downloads take every running slot.
    std::vector<std::unique_ptr<CHttpDownloadFile>> stalled;
    std::vector<std::unique_ptr<testsupport::TempFolder>> folders;
    for (unsigned i = 0; i < CHttpMgr::kMaxRunning; ++i) {
        folders.push_back(std::make_unique<testsupport::TempFolder>());
        stalled.push_back(std::make_unique<CHttpDownloadFile>());
        ASSERT_TRUE(stalled.back()->Download(FaultUrl(token, L"stall"), folders.back()->File(L"s.tmp"), 0, nullptr,
                                             L"", nullptr, nullptr));
    }
    // Three complete files wait for a slot, then this test's own download.
    StoppingOwner owners[3];
    for (StoppingOwner& owner : owners) {
        folders.push_back(std::make_unique<testsupport::TempFolder>());
        const std::wstring path = folders.back()->File(L"p.tmp");
        ASSERT_TRUE(testsupport::WriteFileBytes(path, kSmall));
        ASSERT_TRUE(owner.task.Download(FaultUrl(token, L"plain/small.bin"), path, kSmall.size(), &owner, L"",
                                        &StoppingOwner::OnFinish, nullptr));
        EXPECT_EQ(0, owner.finishes);
    }
    Run(FaultUrl(token, L"plain/small.bin"), kSmall.size());
    // Freeing one slot walks the list: each complete file finishes inside its
    // Start, and its owner stops it there.
    stalled.front()->Stop();
    for (const StoppingOwner& owner : owners) {
        EXPECT_EQ(1, owner.finishes);
        EXPECT_FALSE(DownloadEngineManager()->IsListed(&owner.task));
    }
    ASSERT_TRUE(recorder.WaitFinished(kFinishTimeoutMs));
    EXPECT_EQ(0, recorder.type);
    EXPECT_EQ(kSmall, LocalBytes());
    for (auto& task : stalled) task->Stop();
}

// Stopping or destroying a task while its spare resolution runs: the
// resolver is stopped and no result reaches the owner.
TEST_F(Download, StoppedDuringSpareResolutionReportsNothing) {
    const std::wstring answering = EnvironmentValue(L"INSTALLER_SPARE_DNS");
    SetEnvironmentVariableW(L"INSTALLER_SPARE_DNS",
                            EnvironmentValue(L"HTTP_TEST_DNS_SILENT").c_str());
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "stopped");
        const std::wstring caseToken = UniqueToken();
        testsupport::TempFolder caseFolder;
        auto download = std::make_unique<CHttpDownloadFile>();
        DownloadRecorder r;
        ASSERT_TRUE(download->Download(FaultUrl(caseToken, L"hangup"), caseFolder.File(L"p.tmp"), 1000, &r, L"",
                                       &DownloadRecorder::OnFinish, &DownloadRecorder::OnProgress));
        // After the third attempt the task leaves its manager and resolves.
        CHttpDownloadFile* task = download.get();
        ASSERT_TRUE(testsupport::PumpMessagesUntil(
            [&] { return FaultLog(caseToken).size() == 3 && !DownloadEngineManager()->IsListed(task); },
            kFinishTimeoutMs));
        PumpFor(200);
        if (destroy) download.reset();
        else download->Stop();
        PumpFor(2500);  // longer than the silent server's time-out
        EXPECT_EQ(0, r.finishes);
    }
    SetEnvironmentVariableW(L"INSTALLER_SPARE_DNS", answering.c_str());
}

}  // namespace
