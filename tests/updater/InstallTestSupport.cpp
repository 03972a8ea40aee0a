#include "InstallTestSupport.h"

#include "Runtime/StringUtils.h"
#include "TestSupport.h"

namespace installtest {

namespace {

constexpr DWORD kRecordTimeoutMs = 30000;

}  // namespace

StepsWindow::StepsWindow() {
    static const ATOM windowClass = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"InstallStepsTestWindow";
        return RegisterClassW(&wc);
    }();
    hwnd_ = CreateWindowExW(0, MAKEINTATOM(windowClass), L"", WS_OVERLAPPED, 0, 0, 10, 10,
                            nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

StepsWindow::~StepsWindow() { DestroyWindow(hwnd_); }

LRESULT CALLBACK StepsWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<StepsWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && (message == WM_CLOSE || message == WM_PACKAGE_DAMAGED)) {
        if (!self->outcome_) self->outcome_ = message;
        return 0;
    }
    if (self && message == WM_TIMER && wParam == kInstallTimerId) {
        ++self->installTimerTicks_;
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

UINT PlayInstallTimer(CInstallSteps& steps, const StepsWindow& window, DWORD timeoutMs) {
    testsupport::PumpMessagesUntil(
        [&] {
            if (steps.installerExited) steps.installTicks = kInstallTicksDone;
            return window.outcome() != 0;
        },
        timeoutMs);
    return window.outcome();
}

std::wstring ReadRecord(const std::wstring& path) {
    return Utf8ToWide(testsupport::WaitForFileBytes(path, kRecordTimeoutMs));
}

}  // namespace installtest
