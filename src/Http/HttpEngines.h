// The two HTTP engines of the process, each one workshop thread with one
// task manager: the command engine (in-memory requests) and the download
// engine (file downloads). Created at process start, destroyed at teardown,
// driven by the 500 ms HttpTimerProc. Main thread only.
#pragma once

#include <windows.h>

class CCurlWorkshop;
class CHttpMgr;
class CHttpBase;

// Create the engine's workshop (initialised and started) and manager, when
// missing. True.
bool InitCommandEngine();
bool InitDownloadEngine();
// Stop and delete the workshop (waiting for its thread), then clear and
// delete the manager. True.
bool UninitCommandEngine();
bool UninitDownloadEngine();

// Null while the engine does not exist.
CCurlWorkshop* CommandEngineWorkshop();
CHttpMgr* CommandEngineManager();
CCurlWorkshop* DownloadEngineWorkshop();
CHttpMgr* DownloadEngineManager();

// Binds the task to `manager` and lists it. A task bound to another manager
// is only taken out of that one. False without a manager.
bool SubmitTask(CHttpMgr* manager, CHttpBase* task);
bool SubmitCommandTask(CHttpBase* task);
bool SubmitDownloadTask(CHttpBase* task);

// Every 500 ms: download progress on every other call, then the retry checks
// of both engines.
void CALLBACK HttpTimerProc(HWND, UINT, UINT_PTR, DWORD);

// The engines as a program runs them: the HttpTimerProc timer (process
// timer 100, 500 ms), then both engines. Returns the timer.
UINT_PTR StartHttpEngines();
// Both engines, then the timer StartHttpEngines returned.
void StopHttpEngines(UINT_PTR timer);
