#pragma once
// The modal dialog that tells the user the Java runtime does not fit.

#include "common/dialog.h"
#include "common/unique_resource.h"

#include <string>
#include <utility>

namespace launcher {

// "\n" in a string-table text becomes "\r\n" for the edit control.
std::wstring WithWindowsLineBreaks(const std::wstring& text);

class JavaErrorDialog : public common::Dialog {
public:
    // reason: a paragraph after the text; empty: none.
    JavaErrorDialog(HINSTANCE instance, std::wstring reason) : m_hInstance(instance), m_reason(std::move(reason)) {}

    // Returns when the user has closed it.
    void Run(HWND owner);

protected:
    BOOL OnInitDialog() override;

private:
    HINSTANCE m_hInstance;
    std::wstring m_reason;
    common::UniqueGdiObject m_warningBitmap;  // the static control does not own it
};

}  // namespace launcher
