// Shutdown is final for the process, so it has a test program of its own.
#include <gtest/gtest.h>

#include <windows.h>

#include "DispatchTestSupport.h"

namespace {

bool g_ran = false;
// Static: the task queued after shutdown is only released at process exit.
std::atomic<int> g_destroyed{0};

void MarkRan(const CRefPtr<Tracked>&, int) { g_ran = true; }

TEST(DispatchShutdown, DropsQueuedTasksWithoutRunningThem) {
    InitMainThreadDispatch();
    HWND hidden = HiddenDispatchWindow();
    ASSERT_NE(nullptr, hidden);

    for (int i = 0; i < 3; ++i) RunOnMainThread(&MarkRan, CRefPtr<Tracked>(new Tracked(&g_destroyed)), i);
    EXPECT_EQ(0, g_destroyed.load());

    ShutdownMainThreadDispatch();
    EXPECT_EQ(3, g_destroyed.load()) << "queued tasks release their values";
    EXPECT_FALSE(IsWindow(hidden));

    // Whatever wake-up was pending, nothing runs any more; a second Init
    // does not bring dispatch back.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    InitMainThreadDispatch();
    RunOnMainThread(&MarkRan, CRefPtr<Tracked>(new Tracked(&g_destroyed)), 9);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_FALSE(g_ran);
}

}  // namespace
