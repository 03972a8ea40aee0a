#include "AppContext.h"

#include <cstdlib>

#include "Http/HttpEngines.h"
#include "Runtime/MainThreadDispatch.h"

namespace {

constexpr UINT_PTR kSecondTimerId = 508;

bool g_dispatchStarted = false;
bool g_engineStarted = false;
UINT_PTR g_httpTimerId = 0;

void CALLBACK IdleTimerProc(HWND, UINT, UINT_PTR, DWORD) {}

}  // namespace

AppContext& AppContext::Instance() {
    static AppContext instance;
    return instance;
}

bool AppContext::Start(CMainDlg* window) {
    mainWindow = window;
    secondTimerId = SetTimer(nullptr, kSecondTimerId, 1000, IdleTimerProc);
    if (!g_dispatchStarted) {
        g_dispatchStarted = true;
        InitMainThreadDispatch();
    }
    if (!g_engineStarted) {
        g_engineStarted = true;
        g_httpTimerId = StartHttpEngines();
    }
    return true;
}

bool AppContext::Stop() {
    mainWindow = nullptr;
    if (secondTimerId != 0) KillTimer(nullptr, secondTimerId);
    ShutdownMainThreadDispatch();
    if (g_engineStarted) {
        StopHttpEngines(g_httpTimerId);
        g_engineStarted = false;
    }
    return true;
}

uint16_t ParseChannel(const std::wstring& commandLine) {
    if (commandLine.empty()) return 0;
    return static_cast<uint16_t>(_wtoi(commandLine.c_str()));
}
