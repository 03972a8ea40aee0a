#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "DispatchTestSupport.h"
#include "Runtime/MainThreadDispatch.h"
#include "TestSupport.h"

namespace {

std::vector<std::string>* g_log;

void Record(int worker, int index) {
    g_log->push_back(std::to_string(worker) + ":" + std::to_string(index));
}

void RecordText(const std::string& text, void*) { g_log->push_back(text); }

void PostsAnother(int, int) {
    g_log->push_back("first");
    RunOnMainThread(&RecordText, std::string("second"), static_cast<void*>(nullptr));
}

void SleepThenRecord(int ms, int index) {
    Sleep(ms);
    g_log->push_back("slept:" + std::to_string(index));
}

void CheckAlive(const CRefPtr<Tracked>& tracked, int) {
    g_log->push_back(*tracked->destroyed == 0 ? "alive" : "dead");
}

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override {
        InitMainThreadDispatch();
        ASSERT_NE(nullptr, HiddenDispatchWindow());
        TakeWakeUpMessages();
        g_log = &log;
    }
    void TearDown() override {
        DispatchMainThreadTasks();  // leave nothing queued for the next test
        TakeWakeUpMessages();
        g_log = nullptr;
    }
    std::vector<std::string> log;
};

TEST_F(Dispatch, TasksFromAWorkerRunInOrderAfterOneWakeUp) {
    std::thread worker([] {
        for (int i = 0; i < 3; ++i) RunOnMainThread(&Record, 1, i);
    });
    worker.join();
    EXPECT_TRUE(log.empty()) << "nothing runs until the main thread pumps";
    EXPECT_EQ(1, TakeWakeUpMessages());
    DispatchMainThreadTasks();
    EXPECT_EQ((std::vector<std::string>{"1:0", "1:1", "1:2"}), log);
}

TEST_F(Dispatch, TasksFromSeveralThreadsKeepEachThreadsOrder) {
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([w] {
            for (int i = 0; i < 200; ++i) RunOnMainThread(&Record, w, i);
        });
    for (auto& t : workers) t.join();
    ASSERT_TRUE(testsupport::PumpMessagesUntil([&] { return log.size() == 800; }, 10000));
    std::vector<int> next(4, 0);
    for (const std::string& entry : log) {
        int w = entry[0] - '0';
        EXPECT_EQ(std::to_string(w) + ":" + std::to_string(next[w]), entry);
        ++next[w];
    }
}

TEST_F(Dispatch, TaskPostedByATaskRunsInTheSamePass) {
    RunOnMainThread(&PostsAnother, 0, 0);
    TakeWakeUpMessages();
    DispatchMainThreadTasks();
    EXPECT_EQ((std::vector<std::string>{"first", "second"}), log);
}

TEST_F(Dispatch, ASlowTaskEndsThePassAndWakesUpAgain) {
    RunOnMainThread(&SleepThenRecord, 80, 1);
    RunOnMainThread(&SleepThenRecord, 0, 2);
    TakeWakeUpMessages();
    DispatchMainThreadTasks();
    EXPECT_EQ((std::vector<std::string>{"slept:1"}), log);
    EXPECT_EQ(1, TakeWakeUpMessages()) << "the handler must post itself again";
    DispatchMainThreadTasks();
    EXPECT_EQ((std::vector<std::string>{"slept:1", "slept:2"}), log);
}

TEST_F(Dispatch, WakeUpWithAnEmptyQueueDoesNothing) {
    SendMessageW(HiddenDispatchWindow(), WakeUpMessage(), 0, 0);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(0, TakeWakeUpMessages());
}

TEST_F(Dispatch, TaskKeepsItsValuesAliveAfterThePosterLetsGo) {
    std::atomic<int> destroyed{0};
    {
        CRefPtr<Tracked> tracked(new Tracked(&destroyed));
        std::thread worker([tracked] { RunOnMainThread(&CheckAlive, tracked, 0); });
        worker.join();
    }
    EXPECT_EQ(0, destroyed.load()) << "the queued task holds the last reference";
    TakeWakeUpMessages();
    DispatchMainThreadTasks();
    EXPECT_EQ((std::vector<std::string>{"alive"}), log);
    EXPECT_EQ(1, destroyed.load()) << "released once the task has run";
}

}  // namespace
