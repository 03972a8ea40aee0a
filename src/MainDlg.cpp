#include "MainDlg.h"

namespace {

constexpr wchar_t kClassName[] = L"VelmoraInstallerMainWindow";
constexpr int kWidth = 540;
constexpr int kHeight = 355;

}  // namespace

CMainDlg::~CMainDlg() {
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

HWND CMainDlg::Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x, int y,
                      int cx, int cy, HMENU menu) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(101));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
    // The skin will supply the size; until then the window has its fixed size.
    if (cx == 0 && cy == 0) {
        cx = kWidth;
        cy = kHeight;
    }
    hwnd_ = CreateWindowExW(exStyle, kClassName, name, style, x, y, cx, cy, parent, menu,
                            wc.hInstance, this);
    return hwnd_;
}

void CMainDlg::CenterOnOwner() {
    RECT window;
    GetWindowRect(hwnd_, &window);
    RECT area;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMainDlg::Show(bool show, bool takeFocus) {
    ShowWindow(hwnd_, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

LRESULT CALLBACK CMainDlg::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<CMainDlg*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CMainDlg*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_PAINT) {
        // Until the skin draws it: the title strip and the caption.
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client;
        GetClientRect(hwnd, &client);
        RECT strip = {0, 0, client.right, 40};
        HBRUSH brush = CreateSolidBrush(RGB(0x00, 0x39, 0x6a));
        FillRect(dc, &strip, brush);
        DeleteObject(brush);
        wchar_t caption[64] = {};
        GetWindowTextW(hwnd, caption, 64);
        HFONT font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                                 CLEARTYPE_QUALITY, 0, L"微软雅黑");
        HGDIOBJ oldFont = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        DrawTextW(dc, caption, -1, &strip, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, oldFont);
        DeleteObject(font);
        EndPaint(hwnd, &ps);
        return 0;
    }
    if (message == WM_NCDESTROY && self) {
        self->hwnd_ = nullptr;
        PostQuitMessage(0);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
