// Keeps Wine's desktop process alive for a whole test session. Wine ends
// the desktop once no top-level window is left on it and starts it again for
// the next program that makes one; programs that start during such a restart
// can stall for many seconds. One hidden top-level window avoids the churn.
// It runs until its wineserver is stopped.

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"DesktopKeeper";
    if (!::RegisterClassW(&windowClass)) {
        return 1;
    }
    if (!::CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance,
                           nullptr)) {
        return 1;
    }
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
    return 0;
}
