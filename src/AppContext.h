// The process-wide context: the main window, the idle timer and the channel
// number from the command line. Written only on the main thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CMainDlg;

class AppContext {
public:
    static AppContext& Instance();

    // Starts the idle timer, main-thread dispatch, the 500 ms HTTP tick timer
    // and the command and download engines (each with its worker thread).
    // Main thread, once, before the main window's native window exists.
    bool Start(CMainDlg* mainWindow);
    // Stops dispatch first (dropping queued tasks), then both engines,
    // waiting for their worker threads, then the HTTP tick timer.
    bool Stop();

    CMainDlg* mainWindow = nullptr;
    UINT_PTR secondTimerId = 0;
    // 0 means none was given; the main window then uses its default.
    uint16_t channel = 0;

private:
    AppContext() = default;
};

// The channel from the raw command line: a leading decimal integer (blanks
// and a sign allowed, anything else ends it), kept to its low 16 bits.
// An empty or non-numeric command line gives 0.
uint16_t ParseChannel(const std::wstring& commandLine);
