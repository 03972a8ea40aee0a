// Commands and the task manager, through the real engines and the 500 ms
// timer: outcomes, retries and their waits, the running limit, ids.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <vector>

#include "Http/HttpCommand.h"
#include "Http/HttpDownloadFile.h"
#include "Http/HttpEngines.h"
#include "Http/HttpMgr.h"
#include "HttpTestSupport.h"
#include "TestSupport.h"

using namespace httptest;

namespace {

constexpr DWORD kTimeoutMs = 20000;

class Command : public ::testing::Test {
protected:
    void TearDown() override { command.Stop(); }

    bool Submit(const std::wstring& url) {
        command.SetUrl(url);
        command.SetCallback(&CommandRecorder::OnDone, &recorder);
        return SubmitCommandTask(&command);
    }

    CHttpCommand command;
    CommandRecorder recorder;
    std::wstring token = UniqueToken();
};

TEST_F(Command, SuccessHandsOverTheBody) {
    ASSERT_TRUE(Submit(FaultUrl(token, L"plain/small.bin")));
    ASSERT_TRUE(recorder.WaitDone(kTimeoutMs));
    EXPECT_EQ(0, recorder.type);
    EXPECT_EQ(0, recorder.code);
    EXPECT_EQ(DataBytes(L"small.bin"), recorder.body);
}

TEST_F(Command, OutcomesAndAttempts) {
    struct Case {
        const char* name;
        std::wstring rest;
        int type, code;
        size_t attempts;
    } cases[] = {
        {"not found", L"status/404", 4, 404, 1},
        {"server error", L"status/503", 4, 503, 1},
        {"no answer", L"hangup", 5, 52, 3},
        {"redirect loop", L"loop", 5, 47, 3},
        {"redirect to a file", L"redirect?to=file:///C:/windows/win.ini", 5, 1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring caseToken = UniqueToken();
        CHttpCommand task;
        CommandRecorder r;
        task.SetUrl(FaultUrl(caseToken, c.rest));
        task.SetCallback(&CommandRecorder::OnDone, &r);
        ASSERT_TRUE(SubmitCommandTask(&task));
        ASSERT_TRUE(r.WaitDone(kTimeoutMs));
        PumpFor(600);
        EXPECT_EQ(1, r.calls);
        EXPECT_EQ(c.type, r.type);
        EXPECT_EQ(c.code, r.code);
        const size_t firstLegs = c.rest == L"loop" ? 6 : 1;  // the loop's 5 redirects are logged too
        EXPECT_EQ(c.attempts * firstLegs, FaultLog(caseToken).size());
        EXPECT_FALSE(CommandEngineManager()->IsListed(&task));
    }
}

TEST_F(Command, FileSchemeIsRefused) {
    ASSERT_TRUE(Submit(L"file:///C:/windows/win.ini"));
    ASSERT_TRUE(recorder.WaitDone(kTimeoutMs));
    EXPECT_EQ(5, recorder.type);
    EXPECT_EQ(1, recorder.code);  // CURLE_UNSUPPORTED_PROTOCOL
    EXPECT_EQ("", recorder.body);
}

// A retry waits more than 500 ms even when another task of the same
// manager ends (and schedules) in between.
TEST_F(Command, RetryWaitHoldsWhileOtherTasksEnd) {
    ASSERT_TRUE(Submit(FaultUrl(token, L"hangup")));
    for (int i = 0; i < 3; ++i) {
        CHttpCommand quick;
        CommandRecorder r;
        quick.SetUrl(FaultUrl(UniqueToken(), L"plain/tiny.bin"));
        quick.SetCallback(&CommandRecorder::OnDone, &r);
        SubmitCommandTask(&quick);
        ASSERT_TRUE(r.WaitDone(kTimeoutMs));
        quick.Stop();
    }
    ASSERT_TRUE(recorder.WaitDone(kTimeoutMs));
    const auto log = FaultLog(token);
    ASSERT_EQ(3u, log.size());
    for (size_t i = 1; i < log.size(); ++i) {
        EXPECT_GE(log[i].ms - log[i - 1].ms, 500) << "attempt " << i;
        EXPECT_LE(log[i].ms - log[i - 1].ms, 3000) << "attempt " << i;
    }
}

TEST_F(Command, StopDuringTheRetryWaitEndsWithoutCallback) {
    ASSERT_TRUE(Submit(FaultUrl(token, L"hangup")));
    ASSERT_TRUE(testsupport::PumpMessagesUntil([&] { return command.retryPending(); }, kTimeoutMs));
    command.Stop();
    PumpFor(1500);
    EXPECT_EQ(0, recorder.calls);
    EXPECT_EQ(1u, FaultLog(token).size());
    EXPECT_FALSE(CommandEngineManager()->IsListed(&command));
}

TEST_F(Command, StartWhileRunningMakesNoSecondTransfer) {
    ASSERT_TRUE(Submit(FaultUrl(token, L"stall")));
    ASSERT_TRUE(testsupport::PumpMessagesUntil([&] { return command.running(); }, kTimeoutMs));
    CCurlHttp* first = command.currentTransfer();
    EXPECT_FALSE(command.Start());
    EXPECT_EQ(first, command.currentTransfer());
}

// A command that asks for a byte range (the range start is the download
// task's business; a derived task sets it here).
class RangedCommand : public CHttpCommand {
public:
    void SetRangeStart(uint64_t start) { rangeStart_ = start; }
};

TEST_F(Command, RangeHeaderFollowsTheRangeStart) {
    struct Case {
        uint64_t start;
        const char* sent;
    } cases[] = {{0, "none"}, {1024, "bytes=1024-"}};
    for (const Case& c : cases) {
        RangedCommand task;
        CommandRecorder r;
        task.SetRangeStart(c.start);
        task.SetUrl(FaultUrl(token, L"echo-range"));
        task.SetCallback(&CommandRecorder::OnDone, &r);
        SubmitCommandTask(&task);
        ASSERT_TRUE(r.WaitDone(kTimeoutMs));
        EXPECT_EQ(c.sent, r.body);
    }
}

// A task holds its manager only while submitted, so a task that outlives
// the engines never reaches a manager that is gone.
TEST(Manager, TaskIsBoundOnlyWhileSubmitted) {
    CHttpCommand task;
    EXPECT_EQ(nullptr, task.manager());
    task.SetUrl(FaultUrl(UniqueToken(), L"stall"));
    ASSERT_TRUE(SubmitCommandTask(&task));
    EXPECT_EQ(CommandEngineManager(), task.manager());
    task.Stop();
    EXPECT_EQ(nullptr, task.manager());
}

TEST(Manager, ElevenTasksTenRunning) {
    const std::wstring token = UniqueToken();
    std::vector<std::unique_ptr<CHttpCommand>> tasks;
    for (int i = 0; i < 11; ++i) {
        tasks.push_back(std::make_unique<CHttpCommand>());
        tasks.back()->SetUrl(FaultUrl(token, L"stall"));
        ASSERT_TRUE(SubmitCommandTask(tasks.back().get()));
    }
    CHttpMgr* manager = CommandEngineManager();
    EXPECT_EQ(11u, manager->taskCount());
    EXPECT_EQ(10u, manager->runningCount());
    EXPECT_FALSE(tasks[10]->scheduled());
    ASSERT_TRUE(testsupport::PumpMessagesUntil([&] { return FaultLog(token).size() == 10; }, kTimeoutMs));
    PumpFor(1200);  // retry checks and timer ticks start nothing more
    EXPECT_EQ(10u, FaultLog(token).size());

    tasks[3]->Stop();
    EXPECT_TRUE(tasks[10]->scheduled());
    EXPECT_EQ(10u, manager->runningCount());
    ASSERT_TRUE(testsupport::PumpMessagesUntil([&] { return FaultLog(token).size() == 11; }, kTimeoutMs));
    for (auto& task : tasks) task->Stop();
    EXPECT_EQ(0u, manager->taskCount());
    EXPECT_EQ(0u, manager->runningCount());
}

TEST(Manager, TaskIdsGrowAcrossBothEngines) {
    const std::wstring token = UniqueToken();
    CHttpCommand first, third;
    CHttpDownloadFile second;
    testsupport::TempFolder folder;
    first.SetUrl(FaultUrl(token, L"stall"));
    third.SetUrl(FaultUrl(token, L"stall"));
    ASSERT_TRUE(SubmitCommandTask(&first));
    ASSERT_TRUE(second.Download(FaultUrl(token, L"stall"), folder.File(L"x.tmp"), 0, nullptr, L"", nullptr, nullptr));
    ASSERT_TRUE(SubmitCommandTask(&third));
    EXPECT_LT(first.id(), second.id());
    EXPECT_LT(second.id(), third.id());
    // Submitting a listed task again changes nothing.
    const int id = third.id();
    SubmitCommandTask(&third);
    EXPECT_EQ(id, third.id());
    first.Stop();
    second.Stop();
    third.Stop();
}

}  // namespace
