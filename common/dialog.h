#pragma once
// A small dialog base: the object travels through DWLP_USER, the derived
// class overrides what it handles. Modeless dialogs may be created without
// a message loop; modal ones run the system's.

#include <windows.h>

namespace common {

class Dialog {
public:
    Dialog() = default;
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Creates the dialog from a template without making it modal; returns
    // after OnInitDialog has run (NULL when creation failed).
    HWND CreateModeless(HINSTANCE instance, int templateId, HWND parent);
    // Runs the dialog modally; returns the value given to EndDialog, or -1.
    INT_PTR DoModal(HINSTANCE instance, int templateId, HWND parent);
    void Destroy();

    HWND hwnd() const { return m_hWnd; }

protected:
    // The return value is the one of WM_INITDIALOG: TRUE lets the system
    // set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    // WM_COMMAND; true when handled. By default OK and Cancel end a modal
    // dialog.
    virtual bool OnCommand(WORD id, WORD notifyCode);
    // Any other message; set handled to keep the system's default away.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

    void EndDialog(INT_PTR result);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;
    bool m_modal = false;
};

// Paints a minimised dialog: the icon's background erased, the icon centred
// in the client area (the centre rounded up).
void PaintMinimisedIcon(HWND dialog, HICON icon);

}  // namespace common
