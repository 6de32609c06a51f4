#include "common/dialog.h"

namespace common {

Dialog::~Dialog()
{
    Destroy();
}

HWND Dialog::CreateModeless(HINSTANCE instance, int templateId, HWND parent)
{
    m_modal = false;
    return ::CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId), parent, &Dialog::DialogProc,
                                reinterpret_cast<LPARAM>(this));
}

INT_PTR Dialog::DoModal(HINSTANCE instance, int templateId, HWND parent)
{
    m_modal = true;
    const INT_PTR result = ::DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), parent, &Dialog::DialogProc,
                                             reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

void Dialog::Destroy()
{
    if (m_hWnd && !m_modal) {
        HWND window = m_hWnd;
        m_hWnd = nullptr;
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        ::DestroyWindow(window);
    }
}

bool Dialog::OnCommand(WORD id, WORD)
{
    if (m_modal && (id == IDOK || id == IDCANCEL)) {
        EndDialog(id);
        return true;
    }
    return false;
}

INT_PTR Dialog::OnMessage(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    return 0;
}

void Dialog::EndDialog(INT_PTR result)
{
    if (m_modal && m_hWnd) {
        ::EndDialog(m_hWnd, result);
    }
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_hWnd = window;
        return self->OnInitDialog();
    }
    self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (!self) {
        return FALSE;
    }
    if (message == WM_COMMAND) {
        return self->OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    }
    bool handled = false;
    const INT_PTR result = self->OnMessage(message, wParam, lParam, handled);
    return handled ? result : FALSE;
}

void PaintMinimisedIcon(HWND dialog, HICON icon)
{
    PAINTSTRUCT paint = {};
    HDC dc = ::BeginPaint(dialog, &paint);
    ::SendMessageW(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client = {};
    ::GetClientRect(dialog, &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, icon);
    ::EndPaint(dialog, &paint);
}

}  // namespace common
