// What the install step tests share: a window standing in for the main
// window, the install timer played the way that window plays it, and the
// records the package and launcher stand-ins leave behind.
#pragma once

#include <windows.h>

#include <string>

#include "InstallSteps.h"

namespace installtest {

// A plain hidden window that records how the install steps end (their
// WM_CLOSE or WM_PACKAGE_DAMAGED, whichever comes first) and counts the
// install timer's ticks; it closes only when the object goes.
class StepsWindow {
public:
    StepsWindow();
    ~StepsWindow();
    StepsWindow(const StepsWindow&) = delete;
    StepsWindow& operator=(const StepsWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    // WM_CLOSE or WM_PACKAGE_DAMAGED; 0 before either came.
    UINT outcome() const { return outcome_; }
    int installTimerTicks() const { return installTimerTicks_; }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    UINT outcome_ = 0;
    int installTimerTicks_ = 0;
};

// Pumps messages until the window has an outcome, playing the install
// counter: held at 0 while the package runs, set to its end once the
// package has exited. Returns the outcome, 0 after the time-out.
UINT PlayInstallTimer(CInstallSteps& steps, const StepsWindow& window, DWORD timeoutMs);

// A stand-in's record of its command line (UTF-8); it is never empty, and
// may be held for a moment by the rename that put it in place.
std::wstring ReadRecord(const std::wstring& path);

}  // namespace installtest
