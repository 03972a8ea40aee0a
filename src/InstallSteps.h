// The install steps of the main window: finding an installed launcher or a
// package beside the installer, the default install folder, and the install
// thread that verifies and runs the package, starts the launcher and cleans
// up. The main window owns one object, sets its window handle and its state
// fields, and calls the operations on the main thread.
//
// The install thread works on a copy of the state it needs, taken when it
// starts, and reaches the window only by posting WM_PACKAGE_DAMAGED or
// WM_CLOSE. It shares two words with the window's install timer:
// `installTicks` (advanced by the timer; the launcher is started once it
// reaches kInstallTicksDone) and `installerExited` (set when the package
// process has ended). Both live in a block the thread keeps alive, so the
// thread never touches a window object that has already gone.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

// Posted to the window when the package is missing, fails its digest check,
// cannot be started or leaves no launcher behind.
constexpr UINT WM_PACKAGE_DAMAGED = WM_USER + 100;
// The window's install timer, started by StartInstall.
constexpr UINT_PTR kInstallTimerId = 11;
constexpr UINT kInstallTimerPeriodMs = 100;
constexpr int kInstallTicksDone = 300;

// The two words the install thread shares with the window's install timer.
struct InstallSharedWords {
    std::atomic<int> installTicks{0};
    std::atomic<bool> installerExited{false};
};

class CInstallSteps {
public:
    CInstallSteps();
    CInstallSteps(const CInstallSteps&) = delete;
    CInstallSteps& operator=(const CInstallSteps&) = delete;

    // The window that receives the install timer, WM_PACKAGE_DAMAGED and
    // the WM_CLOSE that ends a successful installation.
    void SetWindow(HWND window) { window_ = window; }

    // Looks for an installed launcher through the launcher's INI file, then
    // the registry; fills launcherExePath and installFolder.
    bool FindInstalledLauncher();
    // Notes a package travelling beside the installer: sideBySide,
    // packageFolder and localPackage.
    void CheckLocalPackage();
    // The proposed install folder on D:, C: or E:, or empty.
    std::wstring DefaultInstallFolder() const;
    // Starts the launcher found by discovery; 0 or a Windows error code.
    DWORD LaunchInstalledLauncher();
    // Starts the install timer and the install thread.
    void StartInstall();

    // Install state; the window sets these before StartInstall.
    std::wstring installFolder;
    std::wstring launcherExePath;
    std::wstring packageFolder;
    std::wstring packagePath;
    std::wstring packageMd5;
    std::wstring packageVersion;
    int channel = 2;
    bool sideBySide = false;
    bool localPackage = false;

private:
    HWND window_ = nullptr;
    std::shared_ptr<InstallSharedWords> words_;

public:
    // The two words shared with the install thread (declared after the
    // block they refer to, so they are bound after it is made).
    std::atomic<int>& installTicks;
    std::atomic<bool>& installerExited;
};
