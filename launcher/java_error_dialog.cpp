#include "launcher/java_error_dialog.h"

#include "common/resource_data.h"
#include "launcher/resources/resource.h"

namespace launcher {

std::wstring WithWindowsLineBreaks(const std::wstring& text)
{
    std::wstring result;
    result.reserve(text.size() + 8);
    for (wchar_t c : text) {
        if (c == L'\n') {
            result += L'\r';
        }
        result += c;
    }
    return result;
}

void JavaErrorDialog::Run(HWND owner)
{
    DoModal(m_hInstance, IDD_JAVA_ERROR, owner);
    m_warningBitmap.reset();
}

BOOL JavaErrorDialog::OnInitDialog()
{
    ::SetWindowTextW(hwnd(), common::LoadStringResource(m_hInstance, IDS_JAVA_ERROR_CAPTION).c_str());
    std::wstring text = WithWindowsLineBreaks(common::LoadStringResource(m_hInstance, IDS_JAVA_ERROR));
    if (!m_reason.empty()) {
        text += L"\r\n\r\n" + m_reason;
    }
    ::SetDlgItemTextW(hwnd(), IDC_JAVA_ERROR_TEXT, text.c_str());
    ::SetDlgItemTextW(hwnd(), IDOK, common::LoadStringResource(m_hInstance, IDS_JAVA_ERROR_OK).c_str());
    // Its own size; the first pixel's colour and the greys follow the
    // dialog's colours.
    m_warningBitmap.reset(::LoadImageW(m_hInstance, MAKEINTRESOURCEW(IDB_JAVA_WARNING), IMAGE_BITMAP, 0, 0,
                                       LR_LOADTRANSPARENT | LR_LOADMAP3DCOLORS));
    ::SendDlgItemMessageW(hwnd(), IDC_JAVA_WARNING, STM_SETIMAGE, IMAGE_BITMAP,
                          reinterpret_cast<LPARAM>(m_warningBitmap.get()));
    return TRUE;
}

}  // namespace launcher
