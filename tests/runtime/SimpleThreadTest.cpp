#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>

#include "Runtime/SimpleThread.h"
#include "Runtime/StringUtils.h"
#include "TestSupport.h"

namespace {

class CountingThread : public CSimpleThread {
public:
    enum class Mode { ReturnAtOnce, UntilStopped, IgnoreStop };
    explicit CountingThread(Mode mode) : mode_(mode) {}
    ~CountingThread() override { Stop(5000); }

    std::atomic<int> runs{0};
    std::atomic<bool> inRun{false};

protected:
    void Run() override {
        ++runs;
        inRun = true;
        if (mode_ == Mode::UntilStopped)
            while (!StopRequested()) Sleep(1);
        if (mode_ == Mode::IgnoreStop)
            for (;;) Sleep(10);
    }

private:
    Mode mode_;
};

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) Sleep(10);
    return done();
}

TEST(SimpleThread, StopWithoutStartSucceeds) {
    CountingThread thread(CountingThread::Mode::UntilStopped);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_TRUE(thread.Stop(100));
    EXPECT_FALSE(thread.DestroyThread(100)) << "no handle to release";
}

TEST(SimpleThread, StartTwiceRunsOneThread) {
    CountingThread thread(CountingThread::Mode::UntilStopped);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitFor([&] { return thread.inRun.load(); }));
    const DWORD id = thread.ThreadId();
    EXPECT_TRUE(thread.Start());
    EXPECT_EQ(id, thread.ThreadId());
    EXPECT_EQ(1, thread.runs.load());
    EXPECT_TRUE(thread.Stop(5000));
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(0u, thread.ThreadId());
}

TEST(SimpleThread, ThreadThatEndsByItselfCanStartAgain) {
    CountingThread thread(CountingThread::Mode::ReturnAtOnce);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitFor([&] { return !thread.IsRunning(); }));
    EXPECT_EQ(0u, thread.ThreadId());
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitFor([&] { return thread.runs.load() == 2; }));
}

TEST(SimpleThread, StopKillsAThreadThatIgnoresTheRequestAndLogsIt) {
    testsupport::FileLogCapture log;
    ASSERT_TRUE(log.capturing());

    CountingThread thread(CountingThread::Mode::IgnoreStop);
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(WaitFor([&] { return thread.inRun.load(); }));
    const DWORD id = thread.ThreadId();
    const DWORD before = GetTickCount();
    EXPECT_TRUE(thread.Stop(200));
    EXPECT_GE(GetTickCount() - before, 150u);
    EXPECT_FALSE(thread.IsRunning());

    const std::wstring text = log.Finish();
    const std::wstring expected = L"[ERRO][.\\Runtime\\SimpleThread:";
    EXPECT_EQ(0u, text.find(expected)) << WideToUtf8(text);
    const std::wstring message =
        L"]CSimpleThread::DestroyThread线程结束超时 tid:" + std::to_wstring(id) + L" ";
    EXPECT_NE(std::wstring::npos, text.find(message)) << WideToUtf8(text);
}

}  // namespace
