// Process entry: read the channel, start the runtime services, show the
// main window, run the message loop, and tear down in a fixed order.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>

#include <string>

#include "AppContext.h"
#include "MainDlg.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    const std::wstring arguments = commandLine ? commandLine : L"";
    AppContext& app = AppContext::Instance();
    if (!arguments.empty()) app.channel = ParseChannel(arguments);

    CMainDlg mainWindow;
    app.Start(&mainWindow);

    mainWindow.Create(nullptr, L"安装玄穹2", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0, 0,
                      nullptr);
    mainWindow.CenterOnOwner();
    mainWindow.Show(true, true);

    CoInitialize(nullptr);
    OleInitialize(nullptr);
    if (FAILED(CoInitialize(nullptr))) return 0;

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    app.Stop();
    OleUninitialize();
    return static_cast<int>(msg.wParam);
}
