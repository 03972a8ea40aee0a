#include "Http/HttpEngines.h"

#include <memory>

#include "Http/CurlWorkshop.h"
#include "Http/HttpBase.h"
#include "Http/HttpMgr.h"

namespace {

struct Engine {
    std::unique_ptr<CCurlWorkshop> workshop;
    std::unique_ptr<CHttpMgr> manager;
};

constexpr UINT_PTR kHttpTimerId = 100;
constexpr UINT kHttpTimerPeriodMs = 500;

Engine g_commandEngine;
Engine g_downloadEngine;
int g_timerTicks = 0;

bool InitEngine(Engine& engine) {
    if (!engine.workshop) {
        engine.workshop = std::make_unique<CCurlWorkshop>();
        engine.workshop->Init();
        engine.workshop->Start();
    }
    if (!engine.manager) engine.manager = std::make_unique<CHttpMgr>();
    return true;
}

bool UninitEngine(Engine& engine) {
    if (engine.workshop) {
        engine.workshop->Stop(INFINITE);
        engine.workshop->Uninit();
        engine.workshop.reset();
    }
    if (engine.manager) {
        engine.manager->ClearTasks();
        engine.manager.reset();
    }
    return true;
}

}  // namespace

bool InitCommandEngine() { return InitEngine(g_commandEngine); }
bool InitDownloadEngine() { return InitEngine(g_downloadEngine); }
bool UninitCommandEngine() { return UninitEngine(g_commandEngine); }
bool UninitDownloadEngine() { return UninitEngine(g_downloadEngine); }

CCurlWorkshop* CommandEngineWorkshop() { return g_commandEngine.workshop.get(); }
CHttpMgr* CommandEngineManager() { return g_commandEngine.manager.get(); }
CCurlWorkshop* DownloadEngineWorkshop() { return g_downloadEngine.workshop.get(); }
CHttpMgr* DownloadEngineManager() { return g_downloadEngine.manager.get(); }

bool SubmitTask(CHttpMgr* manager, CHttpBase* task) {
    CHttpMgr* bound = task->manager();
    if (bound && bound != manager) return bound->RemoveTask(task);
    if (!manager) return false;
    task->BindManager(manager);
    manager->AddTask(task);
    return true;
}

bool SubmitCommandTask(CHttpBase* task) { return SubmitTask(CommandEngineManager(), task); }
bool SubmitDownloadTask(CHttpBase* task) { return SubmitTask(DownloadEngineManager(), task); }

UINT_PTR StartHttpEngines() {
    const UINT_PTR timer = SetTimer(nullptr, kHttpTimerId, kHttpTimerPeriodMs, HttpTimerProc);
    InitCommandEngine();
    InitDownloadEngine();
    return timer;
}

void StopHttpEngines(UINT_PTR timer) {
    UninitCommandEngine();
    UninitDownloadEngine();
    KillTimer(nullptr, timer);
}

void CALLBACK HttpTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    CHttpMgr* downloads = DownloadEngineManager();
    CHttpMgr* commands = CommandEngineManager();
    if (g_timerTicks % 2 == 0 && downloads) downloads->ReportProgress();
    if (downloads) downloads->CheckRetry();
    if (commands) commands->CheckRetry();
    ++g_timerTicks;
}
