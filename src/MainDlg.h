// The installer's main window. For now a plain 540 x 355 window with the
// installer's caption; closing it ends the message loop.
#pragma once

#include <windows.h>

class CMainDlg {
public:
    CMainDlg() = default;
    ~CMainDlg();
    CMainDlg(const CMainDlg&) = delete;
    CMainDlg& operator=(const CMainDlg&) = delete;

    HWND Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x, int y, int cx,
                int cy, HMENU menu);
    void CenterOnOwner();
    void Show(bool show, bool takeFocus);
    HWND GetHWND() const { return hwnd_; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
};
