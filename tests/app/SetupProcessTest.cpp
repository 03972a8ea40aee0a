// Runs the real setup.exe under the test bench and drives its window from
// outside, like a user closing it would.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "Runtime/WinHandle.h"
#include "TestSupport.h"

namespace {

constexpr wchar_t kCaption[] = L"安装玄穹2";

struct RunningSetup {
    Runtime::UniqueHandle process;
    DWORD processId = 0;
};

RunningSetup StartSetup(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + testsupport::ProgramFolder() + L"\\setup.exe\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    RunningSetup setup;
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
        CloseHandle(pi.hThread);
        setup.process.reset(pi.hProcess);
        setup.processId = pi.dwProcessId;
    }
    return setup;
}

struct FindState {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchSetupWindow(HWND hwnd, LPARAM param) {
    auto* state = reinterpret_cast<FindState*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t caption[64] = {};
    GetWindowTextW(hwnd, caption, 64);
    if (pid == state->processId && std::wstring(caption) == kCaption && IsWindowVisible(hwnd)) {
        state->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The visible top-level window with the installer's caption in the process.
HWND FindSetupWindow(DWORD processId) {
    FindState state{processId, nullptr};
    EnumWindows(MatchSetupWindow, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

HWND WaitForSetupWindow(DWORD processId) {
    HWND hwnd = nullptr;
    for (int i = 0; i < 300 && !hwnd; ++i) {
        hwnd = FindSetupWindow(processId);
        if (!hwnd) Sleep(50);
    }
    return hwnd;
}

TEST(SetupProcess, ShowsItsWindowAndExitsWithZeroWhenClosed) {
    for (const wchar_t* arguments : {L"", L"70000", L"abc"}) {
        SCOPED_TRACE(testing::Message() << "arguments [" << arguments << "]");
        RunningSetup setup = StartSetup(arguments);
        ASSERT_TRUE(setup.process) << "CreateProcess failed: " << GetLastError();

        HWND hwnd = WaitForSetupWindow(setup.processId);
        ASSERT_NE(nullptr, hwnd) << "no visible window captioned " << kCaption;
        RECT rect;
        GetWindowRect(hwnd, &rect);
        EXPECT_EQ(540, rect.right - rect.left);
        EXPECT_EQ(355, rect.bottom - rect.top);
        const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
        EXPECT_TRUE(style & WS_POPUP);
        EXPECT_FALSE(style & WS_CAPTION) << "borderless";

        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(setup.process.get(), 15000));
        DWORD exitCode = 1;
        GetExitCodeProcess(setup.process.get(), &exitCode);
        EXPECT_EQ(0u, exitCode);
    }
}

}  // namespace
